#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

namespace kyvern::testing {

// A golf simulator on 127.0.0.1 for the link's tests: it reads as the receivers in the field
// do, each read taken as one whole JSON object, and answers each shot as its mode says. One
// connection at a time; a new one is accepted when the last has gone.
class MockSimulator {
public:
    using Clock = std::chrono::steady_clock;
    struct Message {
        nlohmann::json json;
        Clock::time_point at;
        int connection = 0;
    };
    // The bytes sent back after the n-th shot (from 1) of a connection; empty sends nothing.
    using Answer = std::function<std::string(const nlohmann::json& shot, int n)>;

    struct Mode {
        Answer answer;
        std::string onConnect;   // sent as soon as a connection is accepted
        int closeAfter = 0;      // closes the connection after this many shots; 0 never
        bool neverRead = false;  // accepts, then never reads a byte
    };

    // A simulator that answers each shot so; port 0 takes any free port.
    explicit MockSimulator(Answer answer, int port = 0)
        : MockSimulator(Mode{std::move(answer), "", 0, false}, port) {}
    explicit MockSimulator(Mode mode, int port = 0) : mode_(std::move(mode)) {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener_, 4);
        socklen_t size = sizeof address;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
        port_ = ntohs(address.sin_port);
        ::pipe(stop_);
        thread_ = std::thread([this] { Serve(); });
    }
    ~MockSimulator() {
        [[maybe_unused]] auto written = ::write(stop_[1], "x", 1);
        thread_.join();
        for (int fd : {listener_, stop_[0], stop_[1]})
            ::close(fd);
    }
    MockSimulator(const MockSimulator&) = delete;
    MockSimulator& operator=(const MockSimulator&) = delete;

    int Port() const { return port_; }

    // Waits (without sleeping) until the condition over the messages holds; false after limit.
    bool WaitUntil(const std::function<bool(const std::vector<Message>&)>& condition,
                   std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        std::unique_lock<std::mutex> hold(mutex_);
        return changed_.wait_for(hold, limit, [&] { return condition(messages_); });
    }
    std::vector<Message> Messages() {
        std::lock_guard<std::mutex> hold(mutex_);
        return messages_;
    }
    // Reads that were not exactly one JSON object and its line end.
    int BadReads() {
        std::lock_guard<std::mutex> hold(mutex_);
        return badReads_;
    }
    // True when the current connection has been closed by the link.
    bool WaitForClose(std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        std::unique_lock<std::mutex> hold(mutex_);
        return changed_.wait_for(hold, limit, [&] { return closedByPeer_; });
    }
    // Sends bytes on the current connection (the test's own reply).
    void Send(const std::string& bytes) {
        std::lock_guard<std::mutex> hold(mutex_);
        if (client_ >= 0) [[maybe_unused]]
            auto sent = ::send(client_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }

    static bool IsShot(const nlohmann::json& m) {
        return m.contains("BallData") || m.value("type", "") == "shot";
    }
    static std::size_t Shots(const std::vector<Message>& m) {
        return std::count_if(m.begin(), m.end(), [](auto& x) { return IsShot(x.json); });
    }
    // The numbers of the shots among the messages, in order.
    static std::vector<long> ShotNumbers(const std::vector<Message>& m) {
        std::vector<long> numbers;
        for (const Message& x : m)
            if (IsShot(x.json)) numbers.push_back(x.json["ShotNumber"]);
        return numbers;
    }

private:
    void Serve() {
        for (;;) {
            pollfd waits[2] = {{listener_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
            ::poll(waits, 2, -1);
            if (waits[1].revents) return;
            const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            int connection = 0;
            {
                std::lock_guard<std::mutex> hold(mutex_);
                client_ = fd;
                connection = ++connections_;
                closedByPeer_ = false;
            }
            changed_.notify_all();
            if (!mode_.onConnect.empty()) [[maybe_unused]]
                auto sent =
                    ::send(fd, mode_.onConnect.data(), mode_.onConnect.size(), MSG_NOSIGNAL);
            const bool stopped = Talk(fd, connection);
            {
                std::lock_guard<std::mutex> hold(mutex_);
                client_ = -1;
            }
            ::close(fd);
            if (stopped) return;
        }
    }

    // True when the server is stopping.
    bool Talk(int fd, int connection) {
        int shots = 0;
        for (;;) {
            pollfd waits[2] = {{stop_[0], POLLIN, 0}, {fd, POLLIN, 0}};
            ::poll(waits, mode_.neverRead ? 1 : 2, -1);
            if (waits[0].revents) return true;
            char buffer[65536];
            const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
            if (got <= 0) {
                std::lock_guard<std::mutex> hold(mutex_);
                closedByPeer_ = true;
                changed_.notify_all();
                return false;
            }
            const std::string read(buffer, std::size_t(got));
            nlohmann::json json = nlohmann::json::parse(read, nullptr, false);
            const bool whole =
                !json.is_discarded() && read.back() == '\n' && read.find('\n') == read.size() - 1;
            {
                std::lock_guard<std::mutex> hold(mutex_);
                if (whole) {
                    messages_.push_back({json, Clock::now(), connection});
                } else {
                    ++badReads_;
                }
            }
            changed_.notify_all();
            if (!whole || !IsShot(json)) continue;
            ++shots;
            if (mode_.answer) {
                const std::string reply = mode_.answer(json, shots);
                if (!reply.empty()) [[maybe_unused]]
                    auto sent = ::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
            }
            if (mode_.closeAfter > 0 && shots >= mode_.closeAfter) return false;
        }
    }

    Mode mode_;
    int listener_ = -1;
    int port_ = 0;
    int stop_[2] = {-1, -1};
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Message> messages_;
    int badReads_ = 0;
    int connections_ = 0;
    int client_ = -1;
    bool closedByPeer_ = false;
    std::thread thread_;
};

}  // namespace kyvern::testing
