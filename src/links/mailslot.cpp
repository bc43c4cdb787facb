#include "links/mailslot.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "links/runtime_folder.h"

namespace kyvern::links {

namespace {

bool MakeAddress(const std::string& path, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

bool ValidName(const std::string& name) {
    return !name.empty() && name.find('/') == std::string::npos && name != "." && name != "..";
}

}  // namespace

Mailslot::~Mailslot() { Close(); }

bool Mailslot::Create(const std::string& name) {
    Close();
    if (!ValidName(name) || !EnsureRuntimeFolder()) return false;
    std::string path = SlotPath(name);
    sockaddr_un address;
    if (!MakeAddress(path, address)) return false;

    int lock = ::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock < 0) return false;
    if (::flock(lock, LOCK_EX | LOCK_NB) != 0) {
        ::close(lock);
        return false;  // a live owner holds the name
    }
    // Whatever socket file is there belongs to an owner that is gone.
    ::unlink(path.c_str());
    int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (fd >= 0) ::close(fd);
        ::close(lock);
        return false;
    }
    socket_ = fd;
    lock_ = lock;
    path_ = path;
    return true;
}

void Mailslot::Close() {
    if (socket_ >= 0) {
        ::unlink(path_.c_str());
        ::close(socket_);
        socket_ = -1;
    }
    if (lock_ >= 0) {
        ::close(lock_);  // releases the lock; the lock file stays for the next owner
        lock_ = -1;
    }
    path_.clear();
}

bool Mailslot::NextMessageSize(std::size_t& size) const {
    size = kNoMessage;
    if (socket_ < 0) return false;
    char probe;
    ssize_t length = ::recv(socket_, &probe, 1, MSG_PEEK | MSG_TRUNC | MSG_DONTWAIT);
    if (length >= 0) {
        size = static_cast<std::size_t>(length);
        return true;
    }
    return errno == EAGAIN || errno == EWOULDBLOCK;
}

long Mailslot::Read(void* buffer, std::size_t capacity, int timeoutMs) const {
    if (socket_ < 0) return -1;
    pollfd waitFor{socket_, POLLIN, 0};
    int ready;
    do {
        ready = ::poll(&waitFor, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0) return -1;
    ssize_t length = ::recv(socket_, buffer, capacity, MSG_DONTWAIT);
    return length < 0 ? -1 : static_cast<long>(length);
}

MailslotWriter::~MailslotWriter() { Close(); }

bool MailslotWriter::Open(const std::string& name) {
    Close();
    // Nothing goes into a folder someone else may have planted.
    if (!ValidName(name) || !EnsureRuntimeFolder()) return false;
    sockaddr_un address;
    std::string path = SlotPath(name);
    if (!MakeAddress(path, address)) return false;
    socket_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (socket_ < 0) return false;
    path_ = path;
    return true;
}

void MailslotWriter::Close() {
    if (socket_ >= 0) ::close(socket_);
    socket_ = -1;
    path_.clear();
}

bool MailslotWriter::Write(const void* data, std::size_t size) const {
    if (socket_ < 0) return false;
    sockaddr_un address;
    MakeAddress(path_, address);
    ssize_t sent;
    do {
        sent = ::sendto(socket_, data, size, MSG_DONTWAIT | MSG_NOSIGNAL,
                        reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (sent < 0 && errno == EINTR);
    if (sent >= 0) return static_cast<std::size_t>(sent) == size;
    // No listener (never created, or gone): the message is lost, which is not a failure.
    return errno == ENOENT || errno == ECONNREFUSED || errno == ENOTDIR;
}

}  // namespace kyvern::links
