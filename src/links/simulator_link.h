#pragma once

// The golf simulator link: shots to a simulator program over TCP, as Open Connect v1 or
// OpenGolfSim messages, from a thread of its own so that the shot cycle never waits on the peer.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/settings_snapshot.h"
#include "links/simulator_messages.h"

namespace kyvern::links {

using SimProtocol = base::choice::SimProtocol;
inline constexpr int kOpenConnectPort = 921;
inline constexpr int kOpenGolfSimPort = 3111;

struct SimLinkConfig {
    SimProtocol protocol = SimProtocol::kNone;
    std::string host = "127.0.0.1";
    int port = kOpenConnectPort;
    std::string deviceId = "Kyvern";
    int heartbeatSeconds = 5;
};

// Reads the SimulatorLink section. False, with one sentence for the user in problem, when a
// value is bad; a protocol of None reads as true with protocol kNone.
bool ReadSimLinkConfig(const base::SettingsSnapshot& settings, SimLinkConfig& config,
                       std::string& problem);

enum class SimLinkPhase { kOff, kConnecting, kConnected, kReady, kError };
// "off", "connecting", "connected", "ready", "error".
const char* SimLinkPhaseName(SimLinkPhase phase);

struct SimLinkState {
    SimLinkPhase phase = SimLinkPhase::kOff;
    std::string reason;  // what the phase is waiting on or failed at; empty when all is well
    bool operator==(const SimLinkState&) const = default;
};

// What the link's thread has to tell the shot cycle's thread.
struct SimLinkEvent {
    enum class Kind {
        kNote,          // a line for the message list
        kNotDelivered,  // a shot that never left (line for the list and the shot log)
        kUnconfirmed,   // a shot sent without a reply in time (list and shot log)
        kRejected,      // a shot the simulator answered with an error (list and shot log)
        kConfirmed,     // a shot the simulator took
        kPlayer,        // player information came
        kReply,         // any reply, as text: what the command line prints
    };
    Kind kind = Kind::kNote;
    long shotNumber = 0;
    std::string text;
    SimPlayer player;  // kPlayer
};

// The link's pace; the defaults are the real program's.
struct SimLinkTiming {
    std::chrono::milliseconds minGap{100};        // between two messages
    std::chrono::milliseconds replyWait{3000};    // a shot without a reply by then is unconfirmed
    std::chrono::milliseconds firstRetry{1000};   // back-off after a failed or lost connection,
    std::chrono::milliseconds maxRetry{30000};    // doubling up to this
    std::chrono::milliseconds connectWait{3000};  // for one connection attempt
    std::chrono::milliseconds closePause{250};    // after the last heartbeat, before closing
    std::chrono::milliseconds heartbeat{0};       // 0: the configured HeartbeatSeconds
};

class SimulatorLink {
public:
    explicit SimulatorLink(SimLinkConfig config, SimLinkTiming timing = {});
    // Stops as Stop does.
    ~SimulatorLink();
    SimulatorLink(const SimulatorLink&) = delete;
    SimulatorLink& operator=(const SimulatorLink&) = delete;

    // Starts the thread; false when the protocol is None or the thread cannot be made.
    bool Start();
    // A last heartbeat that says not ready, a short pause, then the connection is closed and the
    // thread ends. Shots still queued are reported not delivered. Idempotent.
    void Stop();

    // Hands a shot to the thread and returns its number at once. A shot that cannot go now
    // (no connection) is reported not delivered and never sent later.
    long Publish(const SimShot& shot);
    // The monitor is ready for a shot (or not); a change goes out at once.
    void SetReady(bool ready);

    SimLinkState State() const;
    std::optional<SimPlayer> Player() const;
    // The events since the last call, oldest first.
    std::vector<SimLinkEvent> TakeEvents();
    // Wakes when an event arrives, or at the deadline; false at the deadline with none waiting.
    bool WaitForEvent(std::chrono::steady_clock::time_point deadline);
    const SimLinkConfig& Config() const { return config_; }

private:
    struct Queued {
        long number = 0;
        SimShot shot;
        std::chrono::steady_clock::time_point published;
    };
    struct Awaited {
        long number = 0;
        std::chrono::steady_clock::time_point sent;
    };
    using Clock = std::chrono::steady_clock;

    void Run();
    bool Connect(std::string& reason);
    // Waits for a non-blocking connection to finish: 0, or the error that ended it.
    int AwaitConnection(int fd);
    void Disconnect(const std::string& reason);
    bool WaitOrQuit(Clock::time_point until);
    void Serve();
    bool WriteNext(Clock::time_point now);
    bool Flush();
    void Read();
    void HandleReply(const SimReply& reply);
    void SetState(SimLinkPhase phase, std::string reason);
    // Queues an event for TakeEvents; with a player, records it as the peer's in the same step.
    void Post(SimLinkEvent event, const SimPlayer* player = nullptr);
    void FailQueued(const char* why);
    void ExpireAwaited(Clock::time_point now, bool all);
    std::string PeerName() const;

    const SimLinkConfig config_;
    const SimLinkTiming timing_;
    std::chrono::milliseconds heartbeat_;

    // Shared with the callers' thread, under mutex_.
    mutable std::mutex mutex_;
    std::condition_variable eventSignal_;
    std::deque<Queued> queue_;
    std::vector<SimLinkEvent> events_;
    SimLinkState state_;
    std::optional<SimPlayer> player_;
    bool ready_ = false;
    bool quit_ = false;
    bool connected_ = false;
    long nextNumber_ = 1;

    // The thread's own.
    int wake_[2] = {-1, -1};  // a pipe: a byte in it wakes the thread
    int socket_ = -1;
    std::string out_;  // the message being written, with its line end
    std::size_t outDone_ = 0;
    Clock::time_point lastSend_{};
    Clock::time_point lastHeartbeat_{};
    bool readySent_ = false;
    bool readyKnown_ = false;
    long lastShotSent_ = 0;
    std::deque<Awaited> awaited_;
    SimReplyReader reader_;
    std::string lastFailure_;
    std::thread thread_;
};

}  // namespace kyvern::links
