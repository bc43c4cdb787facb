#pragma once

// A PostgreSQL server of its own for a test suite: a cluster in a temporary folder, listening
// only on a Unix socket there, stopped and removed when the object goes. The server refuses to
// run as root; under root it runs as Debian's postgres user.
#include <fcntl.h>
#include <libpq-fe.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace kyvern::testing {

class PostgresServer {
public:
    static constexpr const char* kAdmin = "kyvern_admin";
    static constexpr const char* kAdminPassword = "admin-secret";
    static constexpr const char* kUser = "bay";
    static constexpr const char* kPassword = "bay-secret";

    PostgresServer() { failure_ = Start(); }
    ~PostgresServer() { Stop(); }
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    // Why the server is not running; empty when it is.
    const std::string& Failure() const { return failure_; }
    const std::string& SocketFolder() const { return socket_; }

    std::string Url(const std::string& database, const std::string& user = kUser,
                    const std::string& password = kPassword) const {
        return "postgresql://" + user + ":" + password + "@/" + database + "?host=" + socket_;
    }

    // A new empty database owned by the test user; empty text on success, else the reason.
    std::string CreateDatabase(const std::string& name) const {
        return AdminSql("CREATE DATABASE " + name + " OWNER " + kUser);
    }

    // Stops and starts the server in place (the data stays).
    bool Stop() {
        if (!running_) return true;
        running_ = Run({bin_ + "/pg_ctl", "-D", data_, "-m", "fast", "-w", "stop"}) != 0;
        return !running_;
    }
    bool Restart() { return running_ || StartServer(); }

private:
    std::string Start() {
        const std::string initdb = NewestBinFolder();
        if (initdb.empty()) return "no PostgreSQL server is installed under /usr/lib/postgresql";
        bin_ = initdb;
        if (::getuid() == 0) {
            const passwd* pw = ::getpwnam("postgres");
            if (!pw) return "running as root and there is no postgres user to run the server as";
            asUser_ = {"/usr/sbin/runuser", "-u", "postgres", "--"};
            uid_ = pw->pw_uid;
            gid_ = pw->pw_gid;
        }
        data_ = dir_.File("data");
        socket_ = dir_.File("run");
        log_ = dir_.File("server.log");
        std::filesystem::create_directory(socket_);
        WriteFileText(dir_.File("pw"), std::string(kAdminPassword) + "\n");
        if (uid_ != 0 || gid_ != 0) {
            for (const auto& p : {dir_.Path(), socket_, dir_.File("pw")})
                if (::chown(p.c_str(), uid_, gid_) != 0)
                    return "cannot give the folder to postgres";
        }
        if (Run({bin_ + "/initdb", "-D", data_, "-U", kAdmin, "--pwfile=" + dir_.File("pw"),
                 "--auth-local=scram-sha-256", "--auth-host=scram-sha-256", "-E", "UTF8",
                 "--no-sync"}) != 0) {
            return "initdb failed: " + Tail();
        }
        if (!StartServer()) return "the server did not start: " + Tail();
        if (std::string why = AdminSql(std::string("CREATE ROLE ") + kUser + " LOGIN PASSWORD '" +
                                       kPassword + "'");
            !why.empty()) {
            return why;
        }
        return {};
    }

    bool StartServer() {
        const std::string options =
            "-k " + socket_ + " -c listen_addresses='' -c fsync=off -c max_connections=80";
        running_ = Run({bin_ + "/pg_ctl", "-D", data_, "-l", log_, "-w", "-t", "60", "-o", options,
                        "start"}) == 0;
        return running_;
    }

    std::string AdminSql(const std::string& sql) const {
        PGconn* conn = PQconnectdb(Url("postgres", kAdmin, kAdminPassword).c_str());
        std::string why;
        if (PQstatus(conn) != CONNECTION_OK) {
            why = PQerrorMessage(conn);
        } else {
            PGresult* r = PQexec(conn, sql.c_str());
            if (PQresultStatus(r) != PGRES_COMMAND_OK) why = PQresultErrorMessage(r);
            PQclear(r);
        }
        PQfinish(conn);
        return why;
    }

    static std::string NewestBinFolder() {
        std::string best;
        int bestVersion = -1;
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator("/usr/lib/postgresql", ec)) {
            const std::string name = e.path().filename().string();
            const int version = std::atoi(name.c_str());
            if (version > bestVersion && std::filesystem::exists(e.path() / "bin/initdb")) {
                bestVersion = version;
                best = (e.path() / "bin").string();
            }
        }
        return best;
    }

    // Runs a program (as postgres under root), its output appended to the log; its exit code.
    int Run(std::vector<std::string> args) const {
        args.insert(args.begin(), asUser_.begin(), asUser_.end());
        const pid_t pid = ::fork();
        if (pid < 0) return -1;
        if (pid == 0) {
            const int fd =
                ::open(dir_.File("commands.log").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            if (fd >= 0) {
                ::dup2(fd, 1);
                ::dup2(fd, 2);
            }
            std::vector<char*> argv;
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        int status = 0;
        if (::waitpid(pid, &status, 0) != pid) return -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string Tail() const {
        std::string text = ReadFileText(dir_.File("commands.log")) + ReadFileText(log_);
        return text.size() > 600 ? text.substr(text.size() - 600) : text;
    }

    TempDir dir_;
    std::string bin_;
    std::string data_;
    std::string socket_;
    std::string log_;
    std::vector<std::string> asUser_;
    uid_t uid_ = 0;
    gid_t gid_ = 0;
    bool running_ = false;
    std::string failure_;
};

}  // namespace kyvern::testing
