#include "base/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace kyvern::base {

int OpenRegularFile(const std::string& path, std::uint64_t maxBytes, ReadRefusal& refusal) {
    refusal = ReadRefusal::kNone;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        refusal = errno == ENOENT ? ReadRefusal::kMissing : ReadRefusal::kFailed;
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        refusal = ReadRefusal::kFailed;
    } else if (!S_ISREG(st.st_mode)) {
        refusal = ReadRefusal::kNotRegular;
    } else if (static_cast<std::uint64_t>(st.st_size) > maxBytes) {
        refusal = ReadRefusal::kTooLarge;
    } else {
        // Reads of a regular file block as they always do.
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
        return fd;
    }
    ::close(fd);
    return -1;
}

ReadRefusal ReadRegularFile(const std::string& path, std::uint64_t maxBytes, std::string& text) {
    text.clear();
    ReadRefusal refusal = ReadRefusal::kNone;
    const int fd = OpenRegularFile(path, maxBytes, refusal);
    if (fd < 0) return refusal;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) refusal = ReadRefusal::kFailed;
        if (n <= 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
        // A file that grows while it is read is held to the same bound.
        if (text.size() > maxBytes) {
            refusal = ReadRefusal::kTooLarge;
            break;
        }
    }
    ::close(fd);
    if (refusal != ReadRefusal::kNone) text.clear();
    return refusal;
}

std::string RefusalText(ReadRefusal refusal, std::uint64_t maxBytes) {
    switch (refusal) {
        case ReadRefusal::kNone:
            return {};
        case ReadRefusal::kMissing:
            return "no such file";
        case ReadRefusal::kNotRegular:
            return "not a regular file";
        case ReadRefusal::kTooLarge: {
            char text[64];
            std::snprintf(text, sizeof text, "larger than %llu bytes",
                          static_cast<unsigned long long>(maxBytes));
            return text;
        }
        case ReadRefusal::kFailed:
            break;
    }
    return "cannot be read";
}

}  // namespace kyvern::base
