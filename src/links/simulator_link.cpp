#include "links/simulator_link.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "base/config_store.h"

namespace kyvern::links {

namespace {

// The events kept for a reader that does not come; the oldest go first.
constexpr std::size_t kMaxEvents = 256;
// A peer that has not taken a byte of a message for this long is treated as gone.
constexpr std::chrono::seconds kStallLimit{10};

std::string ErrorText(int error) {
    char buffer[128];
    const char* text = strerror_r(error, buffer, sizeof buffer);
    return text;
}

std::string Seconds(std::chrono::milliseconds period) {
    char text[32];
    std::snprintf(text, sizeof text, "%g s", period.count() / 1000.0);
    return text;
}

void SetOption(int fd, int level, int name, int value) {
    ::setsockopt(fd, level, name, &value, sizeof value);
}

}  // namespace

bool ReadSimLinkConfig(const base::SettingsSnapshot& settings, SimLinkConfig& config,
                       std::string& problem) {
    using base::setting::kSimLinkDeviceId;
    using base::setting::kSimLinkHeartbeatSeconds;
    using base::setting::kSimLinkHost;
    using base::setting::kSimLinkPort;
    using base::setting::kSimLinkProtocol;
    config = {};
    const std::optional<SimProtocol> protocol = settings.Find<kSimLinkProtocol>();
    if (!protocol) {
        problem = "Simulator link off: SimulatorLink/Protocol \"" +
                  std::string(base::Trim(settings.Text(kSimLinkProtocol))) +
                  "\" is none of None, OpenConnect, OpenGolfSim";
        return false;
    }
    config.protocol = *protocol;
    if (config.protocol == SimProtocol::kNone) return true;
    config.port =
        config.protocol == SimProtocol::kOpenConnect ? kOpenConnectPort : kOpenGolfSimPort;
    config.host = std::string(base::Trim(settings.Text(kSimLinkHost)));
    if (config.host.empty()) {
        problem = "Simulator link off: SimulatorLink/Host is empty";
        return false;
    }
    const std::string port(base::Trim(settings.Text(kSimLinkPort)));
    if (!port.empty()) {
        long value = 0;
        int used = 0;
        if (std::sscanf(port.c_str(), "%ld%n", &value, &used) != 1 ||
            std::size_t(used) != port.size() || value < 1 || value > 65535) {
            problem = "Simulator link off: SimulatorLink/Port \"" + port +
                      "\" is not a port number from 1 to 65535";
            return false;
        }
        config.port = int(value);
    }
    const std::string heartbeat(base::Trim(settings.Text(kSimLinkHeartbeatSeconds)));
    long seconds = 0;
    int used = 0;
    const base::SettingRange range = base::Spec(kSimLinkHeartbeatSeconds).range;
    if (std::sscanf(heartbeat.c_str(), "%ld%n", &seconds, &used) != 1 ||
        std::size_t(used) != heartbeat.size() || seconds < range.low || seconds > range.high) {
        problem = "Simulator link off: SimulatorLink/HeartbeatSeconds \"" + heartbeat +
                  "\" is not a whole number from 1 to 60";
        return false;
    }
    config.heartbeatSeconds = int(seconds);
    config.deviceId = settings.Text(kSimLinkDeviceId);
    return true;
}

const char* SimLinkPhaseName(SimLinkPhase phase) {
    switch (phase) {
        case SimLinkPhase::kOff:
            return "off";
        case SimLinkPhase::kConnecting:
            return "connecting";
        case SimLinkPhase::kConnected:
            return "connected";
        case SimLinkPhase::kReady:
            return "ready";
        case SimLinkPhase::kError:
            return "error";
    }
    return "off";
}

SimulatorLink::SimulatorLink(SimLinkConfig config, SimLinkTiming timing)
    : config_(std::move(config)),
      timing_(timing),
      heartbeat_(timing.heartbeat.count() > 0 ? timing.heartbeat
                                              : std::chrono::seconds(config_.heartbeatSeconds)) {
    if (::pipe2(wake_, O_NONBLOCK | O_CLOEXEC) != 0) wake_[0] = wake_[1] = -1;
}

SimulatorLink::~SimulatorLink() {
    Stop();
    for (int fd : wake_) {
        if (fd >= 0) ::close(fd);
    }
}

bool SimulatorLink::Start() {
    if (thread_.joinable() || config_.protocol == SimProtocol::kNone || wake_[0] < 0) return false;
    SetState(SimLinkPhase::kConnecting, "to " + PeerName());
    try {
        thread_ = std::thread(&SimulatorLink::Run, this);
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void SimulatorLink::Stop() {
    {
        std::lock_guard<std::mutex> hold(mutex_);
        quit_ = true;
    }
    if (wake_[1] >= 0) {
        const char byte = 0;
        [[maybe_unused]] auto written = ::write(wake_[1], &byte, 1);
    }
    if (thread_.joinable()) thread_.join();
}

long SimulatorLink::Publish(const SimShot& shot) {
    long number = 0;
    {
        std::lock_guard<std::mutex> hold(mutex_);
        number = nextNumber_++;
        if (!connected_ || quit_) {
            // A shot replayed after a reconnection would land late on the simulator, so it
            // is reported now and never sent.
            SimLinkEvent event;
            event.kind = SimLinkEvent::Kind::kNotDelivered;
            event.shotNumber = number;
            char text[160];
            std::snprintf(text, sizeof text, "Simulator: shot %ld not delivered (%s%s%s)", number,
                          SimLinkPhaseName(state_.phase), state_.reason.empty() ? "" : ": ",
                          state_.reason.c_str());
            event.text = text;
            events_.push_back(std::move(event));
            eventSignal_.notify_all();
            return number;
        }
        queue_.push_back({number, shot, Clock::now()});
    }
    const char byte = 0;
    [[maybe_unused]] auto written = ::write(wake_[1], &byte, 1);
    return number;
}

void SimulatorLink::SetReady(bool ready) {
    {
        std::lock_guard<std::mutex> hold(mutex_);
        if (ready_ == ready) return;
        ready_ = ready;
    }
    const char byte = 0;
    [[maybe_unused]] auto written = ::write(wake_[1], &byte, 1);
}

SimLinkState SimulatorLink::State() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return state_;
}

std::optional<SimPlayer> SimulatorLink::Player() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return player_;
}

std::vector<SimLinkEvent> SimulatorLink::TakeEvents() {
    std::lock_guard<std::mutex> hold(mutex_);
    return std::exchange(events_, {});
}

bool SimulatorLink::WaitForEvent(Clock::time_point deadline) {
    std::unique_lock<std::mutex> hold(mutex_);
    return eventSignal_.wait_until(hold, deadline, [this] { return !events_.empty(); });
}

void SimulatorLink::Post(SimLinkEvent event, const SimPlayer* player) {
    std::lock_guard<std::mutex> hold(mutex_);
    if (player != nullptr) player_ = *player;
    if (events_.size() >= kMaxEvents) events_.erase(events_.begin());
    events_.push_back(std::move(event));
    eventSignal_.notify_all();
}

void SimulatorLink::SetState(SimLinkPhase phase, std::string reason) {
    std::lock_guard<std::mutex> hold(mutex_);
    state_.phase = phase;
    state_.reason = std::move(reason);
}

std::string SimulatorLink::PeerName() const {
    return config_.host + ":" + std::to_string(config_.port);
}

bool SimulatorLink::WaitOrQuit(Clock::time_point until) {
    for (;;) {
        {
            std::lock_guard<std::mutex> hold(mutex_);
            if (quit_) return false;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
        if (left <= 0) return true;
        pollfd wake{wake_[0], POLLIN, 0};
        if (::poll(&wake, 1, int(std::min<long long>(left, 1000))) > 0) {
            char drain[64];
            while (::read(wake_[0], drain, sizeof drain) > 0) {
            }
        }
    }
}

int SimulatorLink::AwaitConnection(int fd) {
    const auto deadline = Clock::now() + timing_.connectWait;
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return ETIMEDOUT;
        pollfd waits[2] = {{fd, POLLOUT, 0}, {wake_[0], POLLIN, 0}};
        if (::poll(waits, 2, int(left.count())) < 0 && errno != EINTR) return errno;
        if (waits[0].revents & (POLLOUT | POLLERR | POLLHUP)) {
            int error = 0;
            socklen_t size = sizeof error;
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size);
            return error;
        }
        // A shot or a change of readiness woke the thread; only a stop ends the wait.
        if (waits[1].revents & POLLIN) {
            char drain[64];
            while (::read(wake_[0], drain, sizeof drain) > 0) {
            }
            std::lock_guard<std::mutex> hold(mutex_);
            if (quit_) return ECANCELED;
        }
    }
}

bool SimulatorLink::Connect(std::string& reason) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(config_.port);
    if (int error = ::getaddrinfo(config_.host.c_str(), port.c_str(), &hints, &found)) {
        reason = "host " + config_.host + " does not resolve (" + ::gai_strerror(error) + ")";
        return false;
    }
    reason = "no address of " + config_.host;
    for (addrinfo* a = found; a; a = a->ai_next) {
        int fd =
            ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) continue;
        int error = 0;
        if (::connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
            error = errno;
            if (error == EINPROGRESS) error = AwaitConnection(fd);
        }
        if (error == 0) {
            ::freeaddrinfo(found);
            // Each message leaves at once in a segment of its own; a dead peer is noticed by
            // the kernel within seconds rather than hours.
            SetOption(fd, IPPROTO_TCP, TCP_NODELAY, 1);
            SetOption(fd, SOL_SOCKET, SO_KEEPALIVE, 1);
            SetOption(fd, IPPROTO_TCP, TCP_KEEPIDLE, 5);
            SetOption(fd, IPPROTO_TCP, TCP_KEEPINTVL, 2);
            SetOption(fd, IPPROTO_TCP, TCP_KEEPCNT, 3);
            SetOption(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, 10000);
            socket_ = fd;
            return true;
        }
        ::close(fd);
        reason = ErrorText(error) + " at " + PeerName();
    }
    ::freeaddrinfo(found);
    return false;
}

void SimulatorLink::FailQueued(const char* why) {
    std::lock_guard<std::mutex> hold(mutex_);
    for (const Queued& q : queue_) {
        SimLinkEvent event;
        event.kind = SimLinkEvent::Kind::kNotDelivered;
        event.shotNumber = q.number;
        event.text = "Simulator: shot " + std::to_string(q.number) + " not delivered (" + why + ")";
        events_.push_back(std::move(event));
    }
    queue_.clear();
    eventSignal_.notify_all();
}

void SimulatorLink::ExpireAwaited(Clock::time_point now, bool all) {
    while (!awaited_.empty() && (all || now - awaited_.front().sent >= timing_.replyWait)) {
        SimLinkEvent event;
        event.kind = SimLinkEvent::Kind::kUnconfirmed;
        event.shotNumber = awaited_.front().number;
        event.text = "Simulator: shot " + std::to_string(event.shotNumber) +
                     " unconfirmed (no reply within " + Seconds(timing_.replyWait) + ")";
        Post(std::move(event));
        awaited_.pop_front();
    }
}

void SimulatorLink::Disconnect(const std::string& reason) {
    if (socket_ >= 0) ::close(socket_);
    socket_ = -1;
    out_.clear();
    outDone_ = 0;
    {
        std::lock_guard<std::mutex> hold(mutex_);
        connected_ = false;
    }
    FailQueued(reason.c_str());
    ExpireAwaited(Clock::now(), true);
    SetState(SimLinkPhase::kError, reason + "; next try in " + Seconds(timing_.firstRetry));
    Post({SimLinkEvent::Kind::kNote, 0, "Simulator link: " + reason, {}});
}

bool SimulatorLink::WriteNext(Clock::time_point now) {
    if (now - lastSend_ < timing_.minGap) return false;
    Json message;
    bool ready = false;
    std::optional<Queued> shot;
    {
        std::lock_guard<std::mutex> hold(mutex_);
        ready = ready_;
        // A shot that could not leave in time is reported, not sent late.
        while (!queue_.empty() && now - queue_.front().published >= timing_.replyWait) {
            SimLinkEvent event;
            event.kind = SimLinkEvent::Kind::kNotDelivered;
            event.shotNumber = queue_.front().number;
            event.text = "Simulator: shot " + std::to_string(event.shotNumber) +
                         " not delivered (the simulator is not reading)";
            events_.push_back(std::move(event));
            queue_.pop_front();
            eventSignal_.notify_all();
        }
        if (!queue_.empty()) {
            shot = std::move(queue_.front());
            queue_.pop_front();
        }
    }
    const bool openConnect = config_.protocol == SimProtocol::kOpenConnect;
    // A change of readiness goes first: a simulator may refuse shots from a busy device.
    if (!readyKnown_ || ready != readySent_) {
        message = openConnect ? OpenConnectHeartbeat(config_.deviceId, lastShotSent_, ready)
                              : OpenGolfSimDevice(ready);
        readyKnown_ = true;
        readySent_ = ready;
        lastHeartbeat_ = now;
        if (shot) {
            std::lock_guard<std::mutex> hold(mutex_);
            queue_.push_front(std::move(*shot));
        }
    } else if (shot) {
        message = openConnect ? OpenConnectShot(config_.deviceId, shot->number, shot->shot, ready)
                              : OpenGolfSimShot(shot->shot);
        lastShotSent_ = shot->number;
        awaited_.push_back({shot->number, now});
    } else if (openConnect && now - lastHeartbeat_ >= heartbeat_) {
        message = OpenConnectHeartbeat(config_.deviceId, lastShotSent_, ready);
        lastHeartbeat_ = now;
    } else {
        return false;
    }
    out_ = message.dump();
    out_ += '\n';
    outDone_ = 0;
    lastSend_ = now;
    return true;
}

bool SimulatorLink::Flush() {
    while (outDone_ < out_.size()) {
        const ssize_t sent = ::send(socket_, out_.data() + outDone_, out_.size() - outDone_,
                                    MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK) return true;
            if (errno == EINTR) continue;
            Disconnect(ErrorText(errno) + " writing to " + PeerName());
            return false;
        }
        outDone_ += std::size_t(sent);
    }
    out_.clear();
    outDone_ = 0;
    return true;
}

void SimulatorLink::Read() {
    for (int round = 0; round < 16; ++round) {
        char buffer[4096];
        const ssize_t got = ::recv(socket_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (got == 0) {
            Disconnect("the simulator closed the connection");
            return;
        }
        if (got < 0) {
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                Disconnect(ErrorText(errno) + " reading from " + PeerName());
            return;
        }
        // Each read's replies are taken at once: a peer that answers and then closes has
        // still answered.
        std::vector<SimReply> replies;
        reader_.Feed(std::string_view(buffer, std::size_t(got)), replies);
        for (const SimReply& reply : replies)
            HandleReply(reply);
    }
}

void SimulatorLink::HandleReply(const SimReply& reply) {
    const bool isObject = reply.kind == SimReply::Kind::kObject;
    const std::string text =
        isObject ? reply.object.dump(-1, ' ', false, Json::error_handler_t::replace) : reply.text;
    Post({SimLinkEvent::Kind::kReply, 0, text, {}});
    if (reply.kind == SimReply::Kind::kReadyText) {
        SetState(SimLinkPhase::kReady, "");
        return;
    }
    if (!isObject) {
        Post({SimLinkEvent::Kind::kNote,
              0,
              "Simulator link: unreadable reply ignored: " + reply.text.substr(0, 60),
              {}});
        return;
    }
    auto answerShot = [this](SimLinkEvent::Kind kind, const std::string& what) {
        SimLinkEvent event;
        event.kind = kind;
        if (!awaited_.empty()) {
            event.shotNumber = awaited_.front().number;
            awaited_.pop_front();
        }
        event.text = "Simulator: shot " + std::to_string(event.shotNumber) + " " + what;
        Post(std::move(event));
    };
    if (config_.protocol == SimProtocol::kOpenGolfSim) {
        const OpenGolfSimEvent event = ReadOpenGolfSimEvent(reply.object);
        if (event.type != "result") return;
        std::string what = "landed";
        if (event.carryMetres) {
            char text[64];
            std::snprintf(text, sizeof text, "landed: carry %.1f m", *event.carryMetres);
            what = text;
        }
        if (!awaited_.empty()) answerShot(SimLinkEvent::Kind::kConfirmed, what);
        SetState(SimLinkPhase::kReady, "");
        return;
    }
    const OpenConnectReply read = ReadOpenConnectReply(reply.object);
    if (read.code == 200) {
        if (!awaited_.empty()) answerShot(SimLinkEvent::Kind::kConfirmed, "received");
        SetState(SimLinkPhase::kReady, "");
    } else if (read.code == 201 && read.player) {
        SimLinkEvent event;
        event.kind = SimLinkEvent::Kind::kPlayer;
        event.player = *read.player;
        char text[160];
        std::snprintf(text, sizeof text, "Simulator: player %s, club %s",
                      read.player->handed.c_str(), read.player->club.c_str());
        event.text = text;
        if (read.player->distanceToTarget) {
            std::snprintf(text, sizeof text, ", %.0f yd to the target",
                          *read.player->distanceToTarget);
            event.text += text;
        }
        // The player and its event together: whoever sees the one can take the other.
        Post(std::move(event), &*read.player);
    } else if (read.code == 202) {
        SetState(SimLinkPhase::kReady, "");
    } else if (read.code == 203) {
        Post({SimLinkEvent::Kind::kNote, 0, "Simulator: round ended", {}});
    } else if (read.code >= 500 && read.code <= 599) {
        const std::string what =
            "rejected (" + std::to_string(read.code) + ": " + read.message.substr(0, 120) + ")";
        if (!awaited_.empty()) {
            answerShot(SimLinkEvent::Kind::kRejected, what);
        } else {
            Post({SimLinkEvent::Kind::kNote, 0, "Simulator: error " + what, {}});
        }
    }
}

void SimulatorLink::Serve() {
    readyKnown_ = false;
    lastSend_ = Clock::now() - timing_.minGap;
    lastHeartbeat_ = Clock::now();
    reader_ = SimReplyReader();
    awaited_.clear();
    Clock::time_point writeSince{};
    for (;;) {
        {
            std::lock_guard<std::mutex> hold(mutex_);
            if (quit_) return;
        }
        Clock::time_point now = Clock::now();
        if (out_.empty() && WriteNext(now)) writeSince = now;
        if (!out_.empty()) {
            if (!Flush()) return;
            if (!out_.empty() && now - writeSince > kStallLimit) {
                Disconnect("the simulator stopped reading");
                return;
            }
        }
        now = Clock::now();
        ExpireAwaited(now, false);

        // Sleep until the next thing due: a heartbeat, the end of the gap when something
        // waits, a reply's deadline, a queued shot's deadline.
        Clock::time_point due = now + std::chrono::seconds(1);
        if (config_.protocol == SimProtocol::kOpenConnect)
            due = std::min(due, lastHeartbeat_ + heartbeat_);
        bool waiting = false;
        {
            std::lock_guard<std::mutex> hold(mutex_);
            waiting = !queue_.empty() || !readyKnown_ || ready_ != readySent_;
            if (!queue_.empty()) due = std::min(due, queue_.front().published + timing_.replyWait);
        }
        if (waiting && out_.empty()) due = std::min(due, lastSend_ + timing_.minGap);
        if (!awaited_.empty()) due = std::min(due, awaited_.front().sent + timing_.replyWait);
        if (!out_.empty()) due = std::min(due, writeSince + kStallLimit);
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(due - now).count();

        short events = POLLIN;
        if (!out_.empty()) events |= POLLOUT;
        pollfd waits[2] = {{socket_, events, 0}, {wake_[0], POLLIN, 0}};
        if (::poll(waits, 2, int(std::max<long long>(wait, 0))) < 0) continue;
        if (waits[1].revents & POLLIN) {
            char drain[64];
            while (::read(wake_[0], drain, sizeof drain) > 0) {
            }
        }
        if (waits[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            Read();
            if (socket_ < 0) return;
        }
    }
}

void SimulatorLink::Run() {
    auto backoff = timing_.firstRetry;
    for (;;) {
        {
            std::lock_guard<std::mutex> hold(mutex_);
            if (quit_) break;
        }
        SetState(SimLinkPhase::kConnecting, "to " + PeerName());
        std::string reason;
        if (!Connect(reason)) {
            {
                std::lock_guard<std::mutex> hold(mutex_);
                if (quit_) break;
            }
            if (reason != lastFailure_) {
                Post({SimLinkEvent::Kind::kNote, 0, "Simulator link: " + reason, {}});
                lastFailure_ = reason;
            }
            SetState(SimLinkPhase::kError, reason + "; next try in " + Seconds(backoff));
            if (!WaitOrQuit(Clock::now() + backoff)) break;
            backoff = std::min(backoff * 2, timing_.maxRetry);
            continue;
        }
        backoff = timing_.firstRetry;
        lastFailure_.clear();
        {
            std::lock_guard<std::mutex> hold(mutex_);
            connected_ = true;
        }
        SetState(SimLinkPhase::kConnected, "");
        Post({SimLinkEvent::Kind::kNote, 0, "Simulator link: connected to " + PeerName(), {}});
        Serve();
        if (socket_ >= 0) break;  // asked to stop while connected
        if (!WaitOrQuit(Clock::now() + backoff)) break;
    }
    if (socket_ >= 0) {
        // The simulator hears that the monitor goes away, then the connection closes.
        {
            std::lock_guard<std::mutex> hold(mutex_);
            connected_ = false;
        }
        FailQueued("the link stopped");
        const auto deadline = Clock::now() + timing_.closePause;
        while (!out_.empty() && Clock::now() < deadline) {
            pollfd wait{socket_, POLLOUT, 0};
            ::poll(&wait, 1, 10);
            if (!Flush()) break;
        }
        if (socket_ >= 0 && out_.empty()) {
            const auto gapEnd = lastSend_ + timing_.minGap;
            if (Clock::now() < gapEnd) std::this_thread::sleep_until(gapEnd);
            out_ = (config_.protocol == SimProtocol::kOpenConnect
                        ? OpenConnectHeartbeat(config_.deviceId, lastShotSent_, false)
                        : OpenGolfSimDevice(false))
                       .dump() +
                   "\n";
            outDone_ = 0;
            Flush();
            std::this_thread::sleep_for(timing_.closePause);
        }
        ExpireAwaited(Clock::now(), true);
        if (socket_ >= 0) ::close(socket_);
        socket_ = -1;
    }
    {
        std::lock_guard<std::mutex> hold(mutex_);
        connected_ = false;
    }
    FailQueued("the link stopped");
    SetState(SimLinkPhase::kOff, "");
}

}  // namespace kyvern::links
