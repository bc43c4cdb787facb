#include "links/live_page.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "support/eventually.h"
#include "support/temp_dir.h"

namespace kyvern::links {
namespace {

using kyvern::testing::Eventually;

const std::string kPng("\x89PNG\r\n\x1a\n\0\0\0\rIHDR-and-the-rest", 27);

LiveShot Sample() {
    LiveShot shot;
    shot.recordedMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::system_clock::now().time_since_epoch())
                          .count();
    shot.title = "Ann \u2014 7 Iron, shot 3";
    shot.figures = {{"Ball Speed", "121.4", "MPH"}, {"Launch", "17.9", "\u00b0"},
                    {"Back Spin", "6804", "rpm"},   {"Carry", "163.2", "yds"},
                    {"Total", "171.0", "yds"},      {"Offline", "3.1 R", "yds"}};
    shot.header = {"Shot", "Ball Speed", "Carry"};
    shot.rows = {{"1", "119.8", "160.4"}, {"2", "120.9", "162.0"}, {"3", "121.4", "163.2"}};
    shot.picture = kPng;
    return shot;
}

// Sends raw bytes and returns what the server answered before it closed or went quiet.
std::string Raw(int port, const std::string& bytes) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval wait{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    std::string answer;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) {
        ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        ::shutdown(fd, SHUT_WR);
        char buffer[4096];
        for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
            answer.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return answer.substr(0, answer.find("\r\n"));
}

// The page, the shot, the picture and nothing else; a request it does not take gets a clear
// status and the server answers the next one as before.
TEST(LivePage, ServesItsOwnPagesOnlyAndRefusesWhatIsNoPagesRequest) {
    LivePage page;
    ASSERT_TRUE(page.Start({}));
    httplib::Client client("127.0.0.1", page.Port());
    auto home = client.Get("/");
    ASSERT_TRUE(home);
    EXPECT_EQ(home->status, 200);
    EXPECT_NE(home->body.find("<script src=\"app.js\">"), std::string::npos);
    EXPECT_EQ(home->get_header_value("X-Content-Type-Options"), "nosniff");
    EXPECT_EQ(home->get_header_value("Content-Security-Policy").rfind("default-src 'self'", 0), 0u);
    EXPECT_EQ(client.Get("/shot.json")->status, 204);
    page.Publish(Sample());
    auto json = client.Get("/shot.json");
    EXPECT_NE(json->body.find("\"figures\":[{\"label\":\"Ball Speed\",\"unit\":\"MPH\","
                              "\"value\":\"121.4\"}"),
              std::string::npos)
        << json->body;
    EXPECT_EQ(client.Get("/downrange.png?seq=1")->body, kPng);
    for (const char* path : {"/../../etc/passwd", "/%2e%2e/%2e%2e/etc/passwd", "/app.js/../x",
                             "/etc/passwd", "//etc/passwd"}) {
        auto r = client.Get(path);
        ASSERT_TRUE(r) << path;
        EXPECT_EQ(r->status, 404) << path;
        EXPECT_EQ(r->body.find("root:"), std::string::npos) << path;
    }
    EXPECT_EQ(client.Post("/", "x", "text/plain")->status, 405);

    const int port = page.Port();
    EXPECT_EQ(Raw(port, "GET /" + std::string(100 * 1024, 'a') + " HTTP/1.1\r\n\r\n").find(" 200 "),
              std::string::npos);
    std::string headers = "GET / HTTP/1.1\r\nHost: x\r\n";
    for (int i = 0; i < 200; ++i)
        headers += "X-" + std::to_string(i) + ": " + std::string(100, 'v') + "\r\n";
    EXPECT_EQ(Raw(port, headers + "\r\n").find(" 200 "), std::string::npos);
    // A body is never read: no page takes one.
    EXPECT_EQ(Raw(port, "POST / HTTP/1.1\r\nHost: x\r\nContent-Length: 100000\r\n\r\n" +
                            std::string(100000, 'b')),
              "HTTP/1.1 405 Method Not Allowed");
    EXPECT_EQ(Raw(port, "GET / HTTP/1.1\r\nHost: x\r\nContent-Length: 100000\r\n\r\n" +
                            std::string(100000, 'b')),
              "HTTP/1.1 413 Payload Too Large");
    EXPECT_EQ(Raw(port, std::string("\x16\x03\x01\x02\x00garbage\r\n\r\n", 16)).find(" 200 "),
              std::string::npos);
    EXPECT_EQ(client.Get("/")->status, 200);
}

// Beyond this machine every request needs the token, in the query or as a bearer.
TEST(LivePage, BeyondThisMachineEveryRequestNeedsTheToken) {
    LivePage open;
    EXPECT_FALSE(open.Start({0, "0.0.0.0", ""}));
    const std::string token = GenerateToken();
    ASSERT_EQ(token.size(), 32u);
    EXPECT_NE(token, GenerateToken());
    LivePage page;
    ASSERT_TRUE(page.Start({0, "0.0.0.0", token}));
    httplib::Client client("127.0.0.1", page.Port());
    EXPECT_EQ(client.Get("/")->status, 401);
    std::string wrong = token;
    wrong.back() = wrong.back() == '0' ? '1' : '0';
    EXPECT_EQ(client.Get("/?token=" + wrong)->status, 401);
    EXPECT_EQ(client.Get("/?token=" + token)->status, 200);
    EXPECT_EQ(client.Get("/shot.json", {{"Authorization", "Bearer " + token}})->status, 204);
    LivePage taken;
    const base::Status refused = taken.Start({page.Port(), "0.0.0.0", token});
    EXPECT_FALSE(refused);
    EXPECT_NE(refused.Reason().find("the port is taken"), std::string::npos) << refused.Reason();
    EXPECT_TRUE(IsLoopbackAddress("127.0.0.1") && IsLoopbackAddress("127.3.2.1") &&
                IsLoopbackAddress("::1") && !IsLoopbackAddress("192.168.1.20"));
}

// A page listening for shots hears each one at once, and Stop ends its stream. Pages beyond
// the limit are told to come back, and the figures are still served.
TEST(LivePage, AnOpenPageHearsTheShotAndStopEndsItsStream) {
    LivePage page;
    ASSERT_TRUE(page.Start({}));
    std::string heard;
    std::mutex mutex;
    std::vector<std::thread> readers;
    for (int i = 0; i < LivePage::kMaxPages; ++i) {
        readers.emplace_back([&, i] {
            httplib::Client client("127.0.0.1", page.Port());
            client.set_read_timeout(30, 0);
            client.Get("/events", [&, i](const char* data, std::size_t length) {
                const std::lock_guard lock(mutex);
                if (i == 0) heard.append(data, length);
                return true;
            });
        });
    }
    ASSERT_TRUE(Eventually([&] { return page.Subscribers() == LivePage::kMaxPages; }));
    httplib::Client late("127.0.0.1", page.Port());
    const auto refused = late.Get("/events");
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 503);
    EXPECT_EQ(refused->get_header_value("Retry-After"), "10");
    EXPECT_EQ(late.Get("/shot.json")->status, 204);
    page.Publish(Sample());
    EXPECT_TRUE(Eventually([&] {
        const std::lock_guard lock(mutex);
        return heard.find("\n\n") != std::string::npos;
    }));
    {
        const std::lock_guard lock(mutex);
        EXPECT_EQ(heard.rfind("event: shot\ndata: {", 0), 0u) << heard;
        EXPECT_NE(heard.find("\"sequence\":1"), std::string::npos);
    }
    const auto before = std::chrono::steady_clock::now();
    page.Stop();
    for (std::thread& reader : readers)
        reader.join();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
    EXPECT_EQ(page.Subscribers(), 0);
}

// Chromium, as a tablet's browser would: the page shows a shot within 200 ms of its recording.
TEST(LivePage, ARealBrowserShowsTheShotAtOnce) {
    const char* browser = "/usr/bin/chromium";
    if (::access(browser, X_OK) != 0) GTEST_SKIP() << "no Chromium at " << browser;
    kyvern::testing::TempDir profile;
    LivePage page;
    ASSERT_TRUE(page.Start({}));
    const std::string url = "http://127.0.0.1:" + std::to_string(page.Port()) + "/";
    const pid_t child = ::fork();
    if (child == 0) {
        ::setpgid(0, 0);
        if (!::freopen("/dev/null", "w", stdout) || !::freopen("/dev/null", "w", stderr))
            ::_exit(127);
        const std::string dir = "--user-data-dir=" + profile.File("chromium");
        ::execl(browser, browser, "--headless=new", "--no-sandbox", "--disable-gpu",
                "--no-first-run", dir.c_str(), url.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ASSERT_GT(child, 0);
    // The browser and its helpers go, however the test ends.
    struct Reaper {
        pid_t pid;
        ~Reaper() {
            ::kill(-pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    } reaper{child};
    ASSERT_TRUE(Eventually([&] { return page.Subscribers() >= 1; }, std::chrono::seconds(60)))
        << "the browser never opened the page's stream";
    page.Publish(Sample());
    ASSERT_TRUE(Eventually([&] { return page.LastSeen().sequence == 1; }));
    EXPECT_LT(page.LastSeen().latencyMs, 200);
    std::printf("browser latency %ld ms\n", page.LastSeen().latencyMs);
}

}  // namespace
}  // namespace kyvern::links
