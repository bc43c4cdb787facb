#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "links/mailslot.h"
#include "links/router_packet.h"

namespace kyvern::links {

inline constexpr const char* kRouterSlotName = "msROUTER";

// The pace of the client thread.
struct RouterTiming {
    std::chrono::milliseconds pass{25};          // one pass of the thread loop
    std::chrono::milliseconds connectWait{200};  // between making the own slot and the login
    int heartbeatAfter = 200;                    // a heartbeat on the pass after this many
};

// The launch monitor's client of the message router: logs in, keeps a heartbeat and passes
// one packet at a time to the router from its own thread. Packets from the router are counted
// (duplicates, gaps) and the first one is held for Receive.
class RouterClient {
public:
    explicit RouterClient(std::string title, RouterTiming timing = {});
    // Ends the thread; the router is not told, as it never is.
    ~RouterClient();
    RouterClient(const RouterClient&) = delete;
    RouterClient& operator=(const RouterClient&) = delete;

    // Reads the client numbers and starts the thread; false when it cannot be started.
    bool Open();
    // Queues one packet for the thread; waits while an earlier one is still pending. Once the
    // client has stopped, the packet is dropped and false is returned: the shot being recorded
    // goes on without the router.
    bool Send(const RouterPacket& packet);
    // The held packet, if any; false when none is held or the client has stopped.
    bool Receive(RouterPacket& packet);

    // The shot-cycle messages.
    // The tee position of the packets sent from now on.
    void SetTeeLocation(const TeeLocation& tee) { tee_ = tee; }
    bool SendTeeOff();
    bool SendShotResult(double ballSpeed, double launchAngle, double sideAngle, double backSpin,
                        double sideSpin, double carryYards, double carryOfflineYards,
                        double flightTime);
    bool SendFailedAnalysis();

    bool Stopped() const { return stopped_.load(); }
    long OwnClient() const { return ownClient_; }
    long TargetClient() const { return targetClient_; }
    std::uint64_t SentCount() const { return sent_.load(); }
    std::uint64_t ReceivedCount() const { return received_.load(); }
    std::uint64_t ExtraCount() const { return extra_.load(); }
    std::uint64_t LostCount() const { return lost_.load(); }
    std::int64_t LastSendTick() const { return lastSendTick_.load(); }
    // How many times the thread has connected (made its slot and logged in).
    std::uint64_t ConnectCount() const { return connects_.load(); }

private:
    void Run();
    bool Connect();
    bool SendPacket(RouterPacket& packet);
    bool ReceivePacket();
    void Release();
    bool Pause(std::chrono::milliseconds period);
    // Waits until due, a queued packet or the end of the client.
    enum class Wake { kPass, kPacket, kQuit };
    Wake WaitForPass(std::chrono::steady_clock::time_point due);

    std::string title_;
    RouterTiming timing_;
    TeeLocation tee_;  // where the shots start: read at Open, then each pass's
    long ownClient_ = 3;
    long targetClient_ = 5;

    Mailslot ownSlot_;
    MailslotWriter routerSlot_;
    std::mutex transmitLock_;
    std::condition_variable transmitSignal_;  // the buffer came free, or the client stopped
    RouterPacket transmitBuffer_;
    bool transmitFree_ = true;
    std::mutex receiveLock_;
    RouterPacket receiveBuffer_;
    bool receiveFree_ = true;

    std::uint32_t transmitSequence_ = 1;
    RouterReceiveState receiveState_;
    std::atomic<std::uint64_t> sent_{0};
    std::atomic<std::uint64_t> received_{0};
    std::atomic<std::uint64_t> extra_{0};
    std::atomic<std::uint64_t> lost_{0};
    std::atomic<std::int64_t> lastSendTick_{0};
    std::atomic<std::uint64_t> connects_{0};
    std::atomic<bool> stopped_{true};

    std::thread thread_;
    std::mutex quitLock_;
    std::condition_variable quitSignal_;
    bool quit_ = false;
    bool queued_ = false;  // Send left a packet for the thread; under quitLock_
};

}  // namespace kyvern::links
