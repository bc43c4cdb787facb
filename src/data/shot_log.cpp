#include "data/shot_log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/program_folder.h"
#include "base/string_table.h"
#include "data/text_format.h"

namespace kyvern::data {

base::Status AppendShotLog(const std::string& path, std::string_view text) {
    const std::string failed(base::Text(base::MessageId::kCouldNotOpenShotLog));
    std::FILE* file = std::fopen(path.c_str(), "ab");
    if (!file) return base::Status::Failure(failed);
    const std::string bytes = WithCrLf(text);
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    // A full disk shows at the write or only at the close; either loses the line.
    const int error = ok ? 0 : errno;
    const bool closed = std::fclose(file) == 0;
    if (ok && closed) return {};
    return base::Status::Failure(failed + " (" + path + ": " +
                                 std::strerror(error ? error : errno) + ")");
}

base::Status AppendShotLog(std::string_view text) {
    return AppendShotLog(base::ShotLogPath(), text);
}

base::Status AppendImageFailed(std::string_view item) {
    return AppendShotLog(std::string(item) + " image failed");
}

base::Status AppendDoubtfulShot(std::string_view item, std::string_view reasons) {
    return AppendShotLog(std::string(item) + " doubtful shot: " + std::string(reasons));
}

}  // namespace kyvern::data
