#include "base/log.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "support/recording_log.h"

namespace base = kyvern::base;
using base::LogCategory;
using base::LogLevel;

TEST(Log, TheFilterReadsLevelsAndCategoriesAndPassesOnlyWhatItNames) {
    struct Case {
        const char* spec;
        LogLevel links, capture, settings;
    } cases[] = {
        {"", LogLevel::kWarning, LogLevel::kWarning, LogLevel::kWarning},
        {"info", LogLevel::kInfo, LogLevel::kInfo, LogLevel::kInfo},
        {"error, links:debug", LogLevel::kDebug, LogLevel::kError, LogLevel::kError},
        {"Capture", LogLevel::kWarning, LogLevel::kDebug, LogLevel::kWarning},
        // Unknown words and levels change nothing; a later item overrides an earlier one.
        {"loud,links:loud,nowhere:info,settings:info,settings:error", LogLevel::kWarning,
         LogLevel::kWarning, LogLevel::kError},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.spec);
        const base::LogFilter filter = base::LogFilter::Parse(c.spec);
        const auto least = [&](LogCategory category) {
            for (LogLevel level : {LogLevel::kDebug, LogLevel::kInfo, LogLevel::kWarning}) {
                if (filter.Passes(category, level)) return level;
            }
            return LogLevel::kError;
        };
        EXPECT_EQ(least(LogCategory::kLinks), c.links);
        EXPECT_EQ(least(LogCategory::kCapture), c.capture);
        EXPECT_EQ(least(LogCategory::kSettings), c.settings);
        EXPECT_TRUE(filter.Passes(LogCategory::kStore, LogLevel::kError));
    }
}

TEST(Log, LinesGoToTheInstalledSinkWholeFromAnyThread) {
    std::vector<std::string> lines;
    {
        kyvern::testing::RecordingLog log;
        base::Log(LogCategory::kLinks, LogLevel::kWarning, "router gone");
        base::Log(LogCategory::kLinks, LogLevel::kInfo, "filtered out");
        base::Logf(LogCategory::kCapture, LogLevel::kError, "camera %u: %s", 42u, "lost");
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([t] {
                for (int i = 0; i < 100; ++i)
                    base::Logf(LogCategory::kApp, LogLevel::kError, "thread %d line %d", t, i);
            });
        }
        for (std::thread& thread : threads)
            thread.join();
        lines = log.Lines();
    }
    ASSERT_EQ(lines.size(), 402u);
    EXPECT_EQ(lines[0], "links warning: router gone");
    EXPECT_EQ(lines[1], "capture error: camera 42: lost");
    for (std::size_t i = 2; i < lines.size(); ++i)
        ASSERT_EQ(lines[i].rfind("app error: thread ", 0), 0u) << lines[i];
}
