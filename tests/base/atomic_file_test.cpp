#include "base/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <iterator>
#include <string>

#include "support/temp_dir.h"

namespace fs = std::filesystem;
using kyvern::base::ReplaceFileAtomically;
using kyvern::testing::ReadFileText;
using kyvern::testing::TempDir;
using kyvern::testing::WriteFileText;

namespace {

int Mode(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

long EntryCount(const std::string& folder) {
    return std::distance(fs::recursive_directory_iterator(folder), {});
}

}  // namespace

// Every file the program writes goes through this replacement: what it must keep, and that no
// temporary file is ever left behind.
TEST(ReplaceFileAtomically, KeepsModeAndLinksAndLeavesNoTemporary) {
    struct Case {
        const char* path;     // inside the folder
        const char* written;  // the file that must hold the bytes; null when the call fails
        int mode;             // its mode afterwards
    };
    const Case cases[] = {
        {"plain.ini", "plain.ini", 0600},
        {"link.ini", "target/real.ini", 0640},  // the link's target, through a relative link
        {"missing/x.ini", nullptr, 0},
    };
    for (const Case& c : cases) {
        TempDir dir;
        WriteFileText(dir.File("plain.ini"), "old");
        ::chmod(dir.File("plain.ini").c_str(), 0600);
        fs::create_directory(dir.File("target"));
        WriteFileText(dir.File("target/real.ini"), "old");
        ::chmod(dir.File("target/real.ini").c_str(), 0640);
        fs::create_symlink("target/real.ini", dir.File("link.ini"));
        const long entries = EntryCount(dir.Path());

        EXPECT_EQ(ReplaceFileAtomically(dir.File(c.path), "new"), c.written != nullptr) << c.path;
        EXPECT_EQ(EntryCount(dir.Path()), entries) << c.path;
        EXPECT_TRUE(fs::is_symlink(dir.File("link.ini"))) << c.path;
        if (!c.written) continue;
        EXPECT_EQ(ReadFileText(dir.File(c.written)), "new") << c.path;
        EXPECT_EQ(Mode(dir.File(c.written)), c.mode) << c.path;
    }
}
