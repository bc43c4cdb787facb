#include "base/atomic_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <random>
#include <utility>

namespace kyvern::base {

namespace {

namespace fs = std::filesystem;

constexpr int kMaxLinkHops = 40;  // the kernel's own limit for a path
constexpr int kRandomLetters = 6;
constexpr std::time_t kStaleSeconds = 3600;

// The file a path names once every link at its end is followed; empty for a loop.
std::string FollowLinks(const std::string& path) {
    fs::path at(path);
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(at, ec))) return at.string();
        const fs::path next = fs::read_symlink(at, ec);
        if (ec) return {};
        at = next.is_absolute() ? next : at.parent_path() / next;
    }
    return {};
}

// Creates a file of a fresh name beside target. The kernel applies the umask to 0644, as it
// does for any new file of the user's.
int CreateTemporary(const std::string& target, std::string& name, const void* seed) {
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    std::minstd_rand random(static_cast<std::uint32_t>(now) ^
                            static_cast<std::uint32_t>(::getpid()) ^
                            static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(seed)));
    constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        // The writer's pid in the name lets a later start tell a killed write from a live one.
        name = target + "." + std::to_string(::getpid()) + ".";
        for (int i = 0; i < kRandomLetters; ++i)
            name += kLetters[random() % (sizeof kLetters - 1)];
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// The writer pid of a temporary's name; 0 when the name is not one of ours.
long TemporaryWriter(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || name.size() - dot - 1 != kRandomLetters) return 0;
    for (std::size_t i = dot + 1; i < name.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (!std::islower(c) && !std::isdigit(c)) return 0;
    }
    const std::size_t pidDot = name.rfind('.', dot - 1);
    if (pidDot == std::string::npos || pidDot == 0 || pidDot + 1 == dot || dot - pidDot > 11)
        return 0;
    for (std::size_t i = pidDot + 1; i < dot; ++i)
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) return 0;
    return std::strtol(name.c_str() + pidDot + 1, nullptr, 10);
}

}  // namespace

int RemoveStaleTemporaries(const std::string& folder) {
    std::error_code ec;
    int removed = 0;
    const std::time_t now = std::time(nullptr);
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const long writer = TemporaryWriter(it->path().filename().string());
        struct stat info {};
        if (writer <= 0 || ::lstat(it->path().c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            continue;
        const bool gone = ::kill(static_cast<pid_t>(writer), 0) != 0 && errno == ESRCH;
        if ((gone || now - info.st_mtime > kStaleSeconds) && ::unlink(it->path().c_str()) == 0)
            ++removed;
    }
    return removed;
}

FileReplacement::FileReplacement(const std::string& path) : target_(FollowLinks(path)) {
    if (path.empty() || target_.empty()) {
        failure_ = path.empty() ? "no file name" : "too many symbolic links";
        return;
    }
    struct stat old {};
    const bool exists = ::stat(target_.c_str(), &old) == 0;
    // Renaming over a device, a pipe or a folder would not write it; refuse rather.
    if (exists ? !S_ISREG(old.st_mode) : errno != ENOENT) {
        Fail(exists ? "not a regular file" : nullptr);
        return;
    }
    fd_ = CreateTemporary(target_, temporary_, this);
    if (fd_ < 0) {
        Fail();
        return;
    }
    ok_ = !exists || ::fchmod(fd_, old.st_mode & 07777) == 0;
    if (!ok_) Fail();
}

FileReplacement::~FileReplacement() { Discard(); }

FileReplacement::FileReplacement(FileReplacement&& other) noexcept
    : target_(std::move(other.target_)),
      temporary_(std::move(other.temporary_)),
      fd_(std::exchange(other.fd_, -1)),
      ok_(std::exchange(other.ok_, false)),
      failure_(std::move(other.failure_)) {
    other.temporary_.clear();
}

FileReplacement& FileReplacement::operator=(FileReplacement&& other) noexcept {
    if (this != &other) {
        Discard();
        target_ = std::move(other.target_);
        temporary_ = std::move(other.temporary_);
        other.temporary_.clear();
        fd_ = std::exchange(other.fd_, -1);
        ok_ = std::exchange(other.ok_, false);
        failure_ = std::move(other.failure_);
    }
    return *this;
}

void FileReplacement::Fail(const char* reason) {
    if (failure_.empty()) failure_ = reason != nullptr ? reason : std::strerror(errno);
    Discard();
}

void FileReplacement::Discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
    ok_ = false;
}

bool FileReplacement::Write(const void* data, std::size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (ok_ && size > 0) {
        const ssize_t n = ::write(fd_, bytes, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            Fail(n == 0 ? "nothing written" : nullptr);
            break;
        }
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return ok_;
}

bool FileReplacement::Commit() {
    if (!ok_) return false;
    const int fd = fd_;
    fd_ = -1;
    // A full disk may show only here: the data must be on the disk before the name moves.
    bool ok = ::fsync(fd) == 0;
    int error = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && ::rename(temporary_.c_str(), target_.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        errno = error;
        Fail();
        return false;
    }
    temporary_.clear();
    ok_ = false;
    // The rename itself reaches the disk with the folder. A file system that cannot flush a
    // folder says EINVAL; the file is in place all the same.
    fs::path folder = fs::path(target_).parent_path();
    if (folder.empty()) folder = ".";
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool synced = dir >= 0 && (::fsync(dir) == 0 || errno == EINVAL);
    if (!synced) failure_ = std::strerror(errno);
    if (dir >= 0) ::close(dir);
    return synced;
}

bool ReplaceFileAtomically(const std::string& path, std::string_view bytes, std::string* failure) {
    FileReplacement file(path);
    if (file.Write(bytes) && file.Commit()) return true;
    if (failure != nullptr) *failure = file.Failure();
    return false;
}

}  // namespace kyvern::base
