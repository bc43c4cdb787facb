#include "base/log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "base/config_store.h"

namespace kyvern::base {
namespace {

constexpr const char* kCategoryNames[kLogCategoryCount] = {
    "settings", "capture", "analysis", "links", "app", "store", "web"};
constexpr const char* kLevelNames[] = {"debug", "info", "warning", "error"};

bool LevelOfName(std::string_view word, LogLevel& level) {
    for (int i = 0; i < 4; ++i) {
        if (EqualsNoCase(word, kLevelNames[i])) {
            level = static_cast<LogLevel>(i);
            return true;
        }
    }
    return false;
}

// The process's log state: one sink, swapped whole, so a line written while a test installs its
// recorder goes to one sink or the other, never half to each; and the filter's level per
// category, read on every line without a lock.
struct LogState {
    StderrLogSink standardError;
    std::atomic<LogSink*> sink{&standardError};
    std::once_flag environmentRead;
    std::atomic<int> least[kLogCategoryCount]{};
};

LogState& State() {
    static LogState state;
    return state;
}

void StoreFilter(LogState& state, const LogFilter& filter) {
    for (int c = 0; c < kLogCategoryCount; ++c)
        state.least[c].store(static_cast<int>(filter.least[c]), std::memory_order_relaxed);
}

// KYVERN_LOG, read at the first line or the first filter set, whichever comes first.
LogState& Filtered() {
    LogState& state = State();
    std::call_once(state.environmentRead, [&state] {
        const char* spec = std::getenv("KYVERN_LOG");
        StoreFilter(state, LogFilter::Parse(spec ? spec : ""));
    });
    return state;
}

}  // namespace

const char* LogCategoryName(LogCategory category) {
    return kCategoryNames[static_cast<int>(category)];
}

const char* LogLevelName(LogLevel level) { return kLevelNames[static_cast<int>(level)]; }

void StderrLogSink::Write(LogCategory category, LogLevel level, std::string_view text) {
    // One call per line: stdio locks the stream, so lines of two threads never interleave.
    std::fprintf(stderr, "kyvern: %s %s: %.*s\n", LogCategoryName(category), LogLevelName(level),
                 static_cast<int>(text.size()), text.data());
}

LogFilter LogFilter::Parse(std::string_view spec) {
    LogFilter filter;
    for (LogLevel& least : filter.least)
        least = LogLevel::kWarning;
    while (!spec.empty()) {
        const std::size_t comma = spec.find(',');
        const std::string_view item = Trim(spec.substr(0, comma));
        spec = comma == std::string_view::npos ? std::string_view{} : spec.substr(comma + 1);
        const std::size_t colon = item.find(':');
        const std::string_view name = Trim(item.substr(0, colon));
        LogLevel level = LogLevel::kDebug;
        if (colon == std::string_view::npos && LevelOfName(name, level)) {
            for (LogLevel& least : filter.least)
                least = level;
            continue;
        }
        if (colon != std::string_view::npos && !LevelOfName(Trim(item.substr(colon + 1)), level))
            continue;
        for (int c = 0; c < kLogCategoryCount; ++c) {
            if (EqualsNoCase(name, kCategoryNames[c])) filter.least[c] = level;
        }
    }
    return filter;
}

bool LogFilter::Passes(LogCategory category, LogLevel level) const {
    return level >= least[static_cast<int>(category)];
}

void InstallLogSink(LogSink* sink) {
    LogState& state = State();
    state.sink.store(sink ? sink : &state.standardError);
}

void SetLogFilter(const LogFilter& filter) { StoreFilter(Filtered(), filter); }

bool LogEnabled(LogCategory category, LogLevel level) {
    return static_cast<int>(level) >=
           Filtered().least[static_cast<int>(category)].load(std::memory_order_relaxed);
}

void Log(LogCategory category, LogLevel level, std::string_view text) {
    if (!LogEnabled(category, level)) return;
    State().sink.load()->Write(category, level, text);
}

void Logf(LogCategory category, LogLevel level, const char* format, ...) {
    if (!LogEnabled(category, level)) return;
    char line[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    State().sink.load()->Write(category, level, line);
}

}  // namespace kyvern::base
