#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "base/log.h"

namespace kyvern::testing {

// The process's log for the life of one test: every line that passes, as
// "category level: text"; the filter is every category's warnings, whatever KYVERN_LOG says.
class RecordingLog final : public base::LogSink {
public:
    RecordingLog() {
        base::SetLogFilter(base::LogFilter::Parse(""));
        base::InstallLogSink(this);
    }
    ~RecordingLog() override { base::InstallLogSink(nullptr); }
    RecordingLog(const RecordingLog&) = delete;
    RecordingLog& operator=(const RecordingLog&) = delete;

    void Write(base::LogCategory category, base::LogLevel level, std::string_view text) override {
        std::lock_guard lock(mutex_);
        lines_.push_back(std::string(base::LogCategoryName(category)) + " " +
                         base::LogLevelName(level) + ": " + std::string(text));
    }
    std::vector<std::string> Lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

}  // namespace kyvern::testing
