#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/status.h"

namespace kyvern::links {

// Where the live page listens. Beyond this machine every request must carry the token.
struct LivePageOptions {
    int port = 0;  // 0: a free port of the system's choice
    std::string address = "127.0.0.1";
    std::string token;
};

// One figure of the last shot as the page shows it in large type.
struct LiveFigure {
    std::string label;  // "Ball Speed"
    std::string value;  // "150.2"
    std::string unit;   // "MPH"
};

// What the page shows of the session after a shot.
struct LiveShot {
    std::uint64_t sequence = 0;   // set by Publish
    std::int64_t recordedMs = 0;  // UTC milliseconds when the shot was recorded
    std::string title;            // "Ann — 7 Iron, shot 12"
    bool putt = false;
    std::vector<LiveFigure> figures;
    std::vector<std::string> header;             // the table's column titles
    std::vector<std::vector<std::string>> rows;  // its last rows, newest last
    std::string picture;                         // PNG of the Down Range view; empty for none
};

// Whether an address is this machine's own (127.0.0.0/8, ::1, localhost).
bool IsLoopbackAddress(const std::string& address);
// A fresh random token: 128 bits as 32 hex digits.
std::string GenerateToken();

// A page for a tablet or a TV beside the bay: the last shot in large type, the session's table
// and the Down Range picture, pushed to every open page the moment a shot is recorded
// (server-sent events). It serves its own few pages from memory and nothing from the disk,
// answers GET and HEAD only, and bounds what a request may send.
class LivePage {
public:
    // Pages that may listen for shots at once; one more is told to come back later (503).
    static constexpr int kMaxPages = 12;

    LivePage();
    ~LivePage();
    LivePage(const LivePage&) = delete;
    LivePage& operator=(const LivePage&) = delete;

    // Listens on its own threads; fails with the reason when the address cannot be bound, or
    // when it names another machine's network and there is no token.
    [[nodiscard]] base::Status Start(const LivePageOptions& options);
    // Ends every open page's stream and stops listening.
    void Stop();
    int Port() const;

    // Thread-safe; every open page hears of it at once.
    void Publish(LiveShot shot);
    // Pages listening for shots now.
    int Subscribers() const;
    // The last shot a page told it shows, and how many milliseconds after its recording.
    struct Seen {
        std::uint64_t sequence = 0;
        long latencyMs = 0;
    };
    Seen LastSeen() const;

    struct State;

private:
    std::shared_ptr<State> state_;
};

}  // namespace kyvern::links
