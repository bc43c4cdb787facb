#include "base/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <iterator>
#include <string>
#include <utility>

#include "support/temp_dir.h"

namespace fs = std::filesystem;
using kyvern::testing::WriteFileText;

// Every file the program writes goes through this replacement: what it must keep, and that no
// temporary file is ever left behind.
TEST(ReplaceFileAtomically, KeepsModeAndLinksAndLeavesNoTemporary) {
    // The path written; the file that must hold the bytes (null when the call fails); its mode;
    // the reason given for a failure.
    const struct {
        const char *path, *written;
        int mode;
        const char* failure;
    } cases[] = {{"plain.ini", "plain.ini", 0600, ""},
                 {"link.ini", "target/real.ini", 0640, ""},  // the target, through a relative link
                 {"missing/x.ini", nullptr, 0, "No such file or directory"},
                 {"pipe", nullptr, 0, "not a regular file"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        kyvern::testing::TempDir dir;
        fs::create_directory(dir.File("target"));
        for (const auto& [name, mode] : {std::pair{"plain.ini", 0600}, {"target/real.ini", 0640}}) {
            WriteFileText(dir.File(name), "old");
            fs::permissions(dir.File(name), fs::perms(mode));
        }
        fs::create_symlink("target/real.ini", dir.File("link.ini"));
        ASSERT_EQ(::mkfifo(dir.File("pipe").c_str(), 0600), 0);
        auto entries = [&] {
            return std::distance(fs::recursive_directory_iterator(dir.Path()), {});
        };
        const long before = entries();

        kyvern::base::FileReplacement file(dir.File(c.path));
        EXPECT_EQ(file.Write("new") && file.Commit(), c.written != nullptr);
        EXPECT_EQ(file.Failure(), c.failure);
        EXPECT_EQ(entries(), before);
        EXPECT_TRUE(fs::is_symlink(dir.File("link.ini")));
        if (!c.written) continue;
        EXPECT_EQ(kyvern::testing::ReadFileText(dir.File(c.written)), "new");
        EXPECT_EQ(int(fs::status(dir.File(c.written)).permissions()), c.mode);
    }
}

// A killed write leaves its temporary; a later start removes it, and nothing else.
TEST(RemoveStaleTemporaries, RemovesOnlyOursOfWritersThatAreGone) {
    kyvern::testing::TempDir dir;
    const pid_t child = ::fork();
    if (child == 0) {
        kyvern::base::FileReplacement killed(dir.File("flightKyvern.txt"));
        killed.Write("part");
        ::_exit(0);  // as a kill would: no destructor runs
    }
    ASSERT_GT(child, 0);
    ::waitpid(child, nullptr, 0);
    kyvern::base::FileReplacement live(dir.File("Kyvern.ini"));
    ASSERT_TRUE(live.Write("live"));
    const std::string gone = "." + std::to_string(child), own = "." + std::to_string(::getpid());
    const struct {
        std::string name;
        bool hourOld, removed;
    } cases[] = {{"pic3.bmp" + gone + ".k2x9q0", false, true},
                 {"pic4.bmp" + own + ".k2x9q0", true, true},    // a reused pid, long unwritten
                 {"pic5.bmp" + own + ".k2x9q0", false, false},  // a write going on
                 {"notes" + gone + ".K2X9Q0", true, false},
                 {"notes.backup", true, false},
                 {"notes" + gone + ".abc12", true, false}};
    for (const auto& c : cases) {
        WriteFileText(dir.File(c.name), "x");
        if (c.hourOld)
            fs::last_write_time(dir.File(c.name),
                                fs::file_time_type::clock::now() - std::chrono::hours(2));
    }
    EXPECT_EQ(kyvern::base::RemoveStaleTemporaries(dir.Path()), 3);  // with the killed write's
    for (const auto& c : cases)
        EXPECT_EQ(fs::exists(dir.File(c.name)), !c.removed) << c.name;
    EXPECT_TRUE(live.Commit());
    for (const auto& entry : fs::directory_iterator(dir.Path()))
        EXPECT_EQ(entry.path().filename().string().rfind("flightKyvern.txt", 0), std::string::npos);
}
