#include "links/serial_port.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/config_store.h"
#include "base/settings_snapshot.h"
#include "base/string_table.h"

namespace kyvern::links {

namespace {

speed_t SpeedOf(int baudRate) {
    switch (baudRate) {
        case 300:
            return B300;
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        default:
            return B0;
    }
}

// The message of a failed step, then the device and the system's reason for the failure, so
// that the user can tell a missing device from one in use or without permission.
void ShowFailure(base::UserPrompts& prompts, const char* message, const std::string& path,
                 int code) {
    char reason[128];
    std::string text = message;
    text += " (" + path + ": " + ::strerror_r(code, reason, sizeof reason) + ")";
    prompts.Message(text);
}

void ShowFailure(base::UserPrompts& prompts, base::MessageId id, const std::string& path,
                 int code) {
    char text[160];
    std::snprintf(text, sizeof text, std::string(base::Text(id)).c_str(),
                  static_cast<unsigned>(code));
    ShowFailure(prompts, text, path, code);
}

}  // namespace

int PortNumberOf(std::string_view text, bool ignoreCase) {
    for (int n = 1; n <= 8; ++n) {
        char name[8];
        std::snprintf(name, sizeof name, "COM%d", n);
        if (ignoreCase ? base::EqualsNoCase(text, name) : text == name) return n;
    }
    return 0;
}

std::string SerialDevicePath(int portNumber) {
    char fallback[32];
    std::snprintf(fallback, sizeof fallback, "/dev/ttyS%d", portNumber - 1);
    std::string path = base::SettingsSnapshot::Read().Text(base::setting::kPortDevice, portNumber);
    path = std::string(base::Trim(path));
    return path.empty() ? fallback : path;
}

SerialPort::~SerialPort() { Close(); }

bool SerialPort::Open(int portNumber, int baudRate, base::UserPrompts& prompts) {
    Close();
    std::string path = SerialDevicePath(portNumber);
    // No O_CREAT: the device must exist. O_NONBLOCK so that a missing carrier cannot hang the
    // open; it is cleared again below.
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    // Not shared: a second opener, in this process or another, is refused.
    if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int code = errno;
        if (fd >= 0) ::close(fd);
        char text[160];
        std::snprintf(text, sizeof text,
                      std::string(base::Text(base::MessageId::kCouldNotOpenPort)).c_str(),
                      portNumber, static_cast<unsigned>(code));
        ShowFailure(prompts, text, path, code);
        return false;
    }
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0) {
        ShowFailure(prompts, base::MessageId::kGetCommStateFailed, path, errno);
        ::close(fd);
        return false;
    }
    ::ioctl(fd, TIOCEXCL);  // keeps out programs that do not take the lock
    speed_t speed = SpeedOf(baudRate);
    ::cfmakeraw(&settings);
    settings.c_cflag &= ~(CSIZE | PARENB | CSTOPB);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    settings.c_cc[VEOF] = 13;
    // A read returns at once with whatever has arrived.
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    if (speed == B0 || ::cfsetispeed(&settings, speed) != 0 ||
        ::cfsetospeed(&settings, speed) != 0 || ::tcsetattr(fd, TCSANOW, &settings) != 0) {
        ShowFailure(prompts, base::MessageId::kSetCommStateFailed, path,
                    speed == B0 ? EINVAL : errno);
        ::close(fd);
        return false;
    }
    int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    int dtr = TIOCM_DTR;
    // A line without modem control (a pseudo-terminal, some USB adapters) has no DTR to raise.
    if (::ioctl(fd, TIOCMBIS, &dtr) != 0 && errno != ENOTTY && errno != EINVAL) {
        ShowFailure(prompts, base::MessageId::kEscapeCommFailed, path, errno);
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

void SerialPort::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

std::size_t SerialPort::Read(void* buffer, std::size_t capacity) {
    if (fd_ < 0 || capacity == 0) return 0;
    ssize_t got;
    do {
        got = ::read(fd_, buffer, capacity);
    } while (got < 0 && errno == EINTR);
    return got > 0 ? static_cast<std::size_t>(got) : 0;
}

bool SerialPort::Write(const void* data, std::size_t size) {
    if (fd_ < 0) return false;
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t put = ::write(fd_, bytes, size);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        bytes += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

}  // namespace kyvern::links
