#include "links/router_client.h"

#include <cstdio>
#include <system_error>

#include "base/settings_snapshot.h"

namespace kyvern::links {

namespace {

std::int64_t TickCount() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

RouterClient::RouterClient(std::string title, RouterTiming timing)
    : title_(std::move(title)), timing_(timing) {}

RouterClient::~RouterClient() {
    {
        std::lock_guard<std::mutex> hold(quitLock_);
        quit_ = true;
    }
    quitSignal_.notify_all();
    if (thread_.joinable()) thread_.join();
}

bool RouterClient::Open() {
    if (thread_.joinable()) return false;
    stopped_ = false;
    const base::SettingsSnapshot settings = base::SettingsSnapshot::Read();
    ownClient_ = settings.Integer(base::setting::kRouterClientId);
    targetClient_ = settings.Integer(base::setting::kRouterTargetId);
    ReadTeeLocation(tee_.first, tee_.second);
    transmitFree_ = true;
    receiveFree_ = true;
    try {
        thread_ = std::thread(&RouterClient::Run, this);
    } catch (const std::system_error&) {
        stopped_ = true;
        return false;
    }
    return true;
}

bool RouterClient::Pause(std::chrono::milliseconds period) {
    std::unique_lock<std::mutex> hold(quitLock_);
    return !quitSignal_.wait_for(hold, period, [this] { return quit_; });
}

RouterClient::Wake RouterClient::WaitForPass(std::chrono::steady_clock::time_point due) {
    std::unique_lock<std::mutex> hold(quitLock_);
    quitSignal_.wait_until(hold, due, [this] { return quit_ || queued_; });
    if (quit_) return Wake::kQuit;
    if (queued_) {
        queued_ = false;
        return Wake::kPacket;
    }
    return Wake::kPass;
}

bool RouterClient::Send(const RouterPacket& packet) {
    {
        std::unique_lock<std::mutex> hold(transmitLock_);
        // A stopped client never frees its buffer again; waiting would hang the shot.
        transmitSignal_.wait(hold, [this] { return transmitFree_ || stopped_; });
        if (stopped_) return false;
        transmitBuffer_ = packet;
        transmitFree_ = false;
    }
    // The thread sends it now rather than at its next pass: a shot is not held up, nor is it
    // late to the router.
    {
        std::lock_guard<std::mutex> hold(quitLock_);
        queued_ = true;
    }
    quitSignal_.notify_all();
    return true;
}

bool RouterClient::Receive(RouterPacket& packet) {
    if (stopped_) return false;
    std::lock_guard<std::mutex> hold(receiveLock_);
    if (receiveFree_) return false;
    packet = receiveBuffer_;
    receiveFree_ = true;
    return true;
}

bool RouterClient::SendTeeOff() { return Send(TeeOffPacket(tee_)); }

bool RouterClient::SendShotResult(double ballSpeed, double launchAngle, double sideAngle,
                                  double backSpin, double sideSpin, double carryYards,
                                  double carryOfflineYards, double flightTime) {
    return Send(ShotResultPacket(tee_, ballSpeed, launchAngle, sideAngle, backSpin, sideSpin,
                                 carryYards, carryOfflineYards, flightTime));
}

bool RouterClient::SendFailedAnalysis() { return Send(FailedAnalysisPacket(tee_)); }

bool RouterClient::SendPacket(RouterPacket& packet) {
    ++transmitSequence_;
    packet.Put32(kSequenceOffset, transmitSequence_);
    packet.Put32(kAddressOffset, AddressWord(ownClient_, targetClient_, kClientUser));
    if (!routerSlot_.Write(packet.bytes.data(), packet.bytes.size())) return false;
    ++sent_;
    lastSendTick_ = TickCount();
    return true;
}

bool RouterClient::Connect() {
    receiveState_.Reset();
    transmitSequence_ = 1;
    routerSlot_.Close();
    ownSlot_.Close();
    char name[32];
    std::snprintf(name, sizeof name, "%s%ld", "ms", ownClient_ & 0xFFFFFFL);
    if (!ownSlot_.Create(name)) return false;
    if (!Pause(timing_.connectWait)) return false;
    if (!routerSlot_.Open(kRouterSlotName)) return false;
    RouterPacket login;
    login.Put32(kTypeOffset, MSG_INFO);
    char text[kTextSize + 32];
    std::snprintf(text, sizeof text, "%s logging in", title_.c_str());
    login.PutText(text);
    SendPacket(login);
    ++connects_;
    return true;
}

bool RouterClient::ReceivePacket() {
    std::size_t size = 0;
    if (!ownSlot_.NextMessageSize(size) || size == Mailslot::kNoMessage) return false;
    std::uint8_t data[kRouterPacketSize];
    long got = ownSlot_.Read(data, sizeof data, 0);
    if (got <= 0) return false;
    bool accepted = receiveState_.Accept(data, static_cast<std::size_t>(got), receiveBuffer_);
    // The received count last: whoever sees it grow sees the losses and repeats that came with
    // that packet.
    extra_ = receiveState_.Extra();
    lost_ = receiveState_.Lost();
    received_ = receiveState_.Received();
    return accepted;
}

void RouterClient::Release() {
    routerSlot_.Close();
    ownSlot_.Close();
    {
        std::lock_guard<std::mutex> hold(transmitLock_);
        stopped_ = true;
    }
    transmitSignal_.notify_all();
}

void RouterClient::Run() {
    if (!Connect()) {
        Release();
        return;
    }
    int pass = 0;
    auto due = std::chrono::steady_clock::now() + timing_.pass;
    for (;;) {
        const Wake wake = WaitForPass(due);
        if (wake == Wake::kQuit) break;
        // A packet queued by Send wakes the thread before its pass: it goes out at once below,
        // and the pass (and with it the heartbeat count) still comes when due.
        if (wake == Wake::kPass) {
            due += timing_.pass;
            const auto now = std::chrono::steady_clock::now();
            if (due < now) due = now + timing_.pass;  // fell behind: no burst of passes
            if (pass > timing_.heartbeatAfter) {
                pass = 0;
                RouterPacket heartbeat;
                heartbeat.Put32(kTypeOffset, MSG_HEARTBEAT);
                heartbeat.PutText(title_);
                if (!SendPacket(heartbeat) && !Connect()) {
                    Release();
                    return;
                }
            } else {
                ++pass;
            }
        }
        {
            std::lock_guard<std::mutex> hold(transmitLock_);
            if (!transmitFree_) {
                SendPacket(transmitBuffer_);  // a failed send loses the packet
                transmitFree_ = true;
            }
        }
        transmitSignal_.notify_all();
        {
            std::lock_guard<std::mutex> hold(receiveLock_);
            if (receiveFree_ && ReceivePacket()) receiveFree_ = false;
        }
    }
    Release();
}

}  // namespace kyvern::links
