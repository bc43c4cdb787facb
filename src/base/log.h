#pragma once

#include <string>
#include <string_view>

namespace kyvern::base {

// What a log line is about, so that a user chasing one problem can switch on just that part.
enum class LogCategory { kSettings, kCapture, kAnalysis, kLinks, kApp, kStore, kWeb };
inline constexpr int kLogCategoryCount = 7;

enum class LogLevel { kDebug, kInfo, kWarning, kError };

const char* LogCategoryName(LogCategory category);  // "settings", "capture", ...
const char* LogLevelName(LogLevel level);           // "debug", "info", "warning", "error"

// Where log lines go. Lines come from any thread: a sink serialises its own writes.
class LogSink {
public:
    virtual ~LogSink() = default;
    virtual void Write(LogCategory category, LogLevel level, std::string_view text) = 0;
};

// Standard error, one line each: "kyvern: links warning: text".
class StderrLogSink final : public LogSink {
public:
    void Write(LogCategory category, LogLevel level, std::string_view text) override;
};

// The levels that pass, one per category: warnings and errors unless KYVERN_LOG says more.
// KYVERN_LOG is a comma list of LEVEL (every category) or CATEGORY[:LEVEL] (one category;
// debug when no level is named), e.g. "info,links:debug". Unknown words are ignored.
struct LogFilter {
    LogLevel least[kLogCategoryCount];
    static LogFilter Parse(std::string_view spec);
    bool Passes(LogCategory category, LogLevel level) const;
};

// The process's log: lines that pass its filter (from KYVERN_LOG at the first line) go to the
// installed sink, standard error until a front end or a test installs another. Installing
// is for the start of a program or a test; the sink must outlive its installation.
void InstallLogSink(LogSink* sink);  // nullptr: standard error again
void SetLogFilter(const LogFilter& filter);
bool LogEnabled(LogCategory category, LogLevel level);
void Log(LogCategory category, LogLevel level, std::string_view text);
void Logf(LogCategory category, LogLevel level, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

}  // namespace kyvern::base
