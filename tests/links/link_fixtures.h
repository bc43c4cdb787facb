#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "links/router_client.h"
#include "links/runtime_folder.h"
#include "links/video_metadata_link.h"
#include "support/eventually.h"
#include "support/temp_home.h"

namespace kyvern::testing {

// Router timing with no prescribed waits.
inline links::RouterTiming QuickRouter(int heartbeatAfter = 1000000) {
    using std::chrono::milliseconds;
    links::RouterTiming timing;
    timing.pass = milliseconds(1), timing.connectWait = milliseconds(0);
    timing.heartbeatAfter = heartbeatAfter;
    return timing;
}

// A peer program's socket bound under a slot name, made with the plain socket calls.
class PeerSocket {
public:
    explicit PeerSocket(const std::string& name) {
        links::EnsureRuntimeFolder();
        path_ = links::SlotPath(name);
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM, 0);
        sockaddr_un address = Address(path_);
        bound_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~PeerSocket() {
        if (fd_ >= 0) ::close(fd_);
        if (bound_) ::unlink(path_.c_str());
    }
    PeerSocket(const PeerSocket&) = delete;
    PeerSocket& operator=(const PeerSocket&) = delete;

    bool Bound() const { return bound_; }
    // Closes the socket but leaves its file behind, as a crashed owner does.
    void Abandon() {
        ::close(fd_);
        fd_ = -1;
        bound_ = false;
    }
    // The next datagram, waiting up to timeoutMs; empty with ok = false when none came.
    std::vector<unsigned char> Receive(int timeoutMs, bool* ok = nullptr) {
        pollfd waitFor{fd_, POLLIN, 0};
        std::vector<unsigned char> data(65536);
        bool got = ::poll(&waitFor, 1, timeoutMs) == 1;
        ssize_t length = got ? ::recv(fd_, data.data(), data.size(), 0) : -1;
        if (ok) *ok = length >= 0;
        data.resize(length < 0 ? 0 : static_cast<std::size_t>(length));
        return data;
    }
    static bool SendTo(const std::string& name, const void* data, std::size_t size) {
        int fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
        sockaddr_un address = Address(links::SlotPath(name));
        bool sent = ::sendto(fd, data, size, 0, reinterpret_cast<sockaddr*>(&address),
                             sizeof address) == static_cast<ssize_t>(size);
        ::close(fd);
        return sent;
    }

private:
    static sockaddr_un Address(const std::string& path) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        return address;
    }
    std::string path_;
    int fd_ = -1;
    bool bound_ = false;
};

// A pseudo-terminal whose far end plays a device; the near end is the port under test.
class PseudoTerminal {
public:
    PseudoTerminal() {
        char name[128] = {};
        if (::openpty(&master_, &slave_, name, nullptr, nullptr) == 0) name_ = name;
        // The master end is raw too, so that the bytes arrive as sent.
        termios raw{};
        ::tcgetattr(master_, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(master_, TCSANOW, &raw);
    }
    ~PseudoTerminal() {
        if (slave_ >= 0) ::close(slave_);
        if (master_ >= 0) ::close(master_);
    }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    const std::string& DevicePath() const { return name_; }
    int Slave() const { return slave_; }
    bool Play(const std::string& bytes) {
        return ::write(master_, bytes.data(), bytes.size()) == ssize_t(bytes.size());
    }
    // What the port under test has written so far (waits up to timeoutMs for the first byte).
    std::string Heard(int timeoutMs = 1000) {
        std::string out;
        pollfd waitFor{master_, POLLIN, 0};
        while (::poll(&waitFor, 1, out.empty() ? timeoutMs : 50) == 1) {
            char chunk[256];
            ssize_t got = ::read(master_, chunk, sizeof chunk);
            if (got <= 0) break;
            out.append(chunk, static_cast<std::size_t>(got));
        }
        return out;
    }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string name_;
};

// Automation objects that keep what the link tells them: each stream its last value, the sender
// how often it sent, the metadata how many streams it holds. The object made at failAt is
// refused.
class MetadataRecorder final : public links::DispatchFactory {
public:
    explicit MetadataRecorder(int failAt = -1) : failAt_(failAt) {}
    std::unique_ptr<links::DispatchObject> Create(std::string_view name) override {
        if (made_++ == failAt_) return nullptr;
        const int role = name.ends_with(".DFMetaDataStream")   ? streams_++
                         : name.ends_with(".DFMetadataSender") ? kSender
                                                               : kOther;
        return std::make_unique<Object>(*this, role);
    }
    std::vector<float> values = std::vector<float>(links::kMetadataStreams, -1.0f);
    int sends = 0, held = 0, calls = 0;

private:
    static constexpr int kSender = -1, kOther = -2;
    struct Object final : links::DispatchObject {
        Object(MetadataRecorder& recorder, int role) : recorder(recorder), role(role) {}
        void Invoke(int number, const std::vector<links::DispatchArgument>& arguments) override {
            ++recorder.calls;
            if (number == 2 && role >= 0) recorder.values.at(role) = arguments.at(0).real;
            if (number == 2 && role == kSender) ++recorder.sends;
            if (number == 2 && arguments.at(0).kind == links::DispatchArgument::Kind::kObject &&
                role == kOther)
                ++recorder.held;
        }
        MetadataRecorder& recorder;
        int role;
    };
    int failAt_;
    int made_ = 0;
    int streams_ = 0;
};

}  // namespace kyvern::testing
