#include "data/shot_log.h"

#include <cstdio>

#include "base/program_folder.h"
#include "base/string_table.h"
#include "data/text_format.h"

namespace kyvern::data {

bool AppendShotLog(const std::string& path, std::string_view text, base::UserPrompts& prompts) {
    std::FILE* file = std::fopen(path.c_str(), "ab");
    if (!file) {
        prompts.Message(base::Text(base::MessageId::kCouldNotOpenShotLog));
        return false;
    }
    const std::string bytes = WithCrLf(text);
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    ok = (std::fclose(file) == 0) && ok;
    return ok;
}

bool AppendShotLog(std::string_view text, base::UserPrompts& prompts) {
    return AppendShotLog(base::ShotLogPath(), text, prompts);
}

bool AppendImageFailed(std::string_view item, base::UserPrompts& prompts) {
    return AppendShotLog(std::string(item) + " image failed", prompts);
}

}  // namespace kyvern::data
