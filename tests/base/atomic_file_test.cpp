#include "base/atomic_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <utility>

#include "support/temp_dir.h"

namespace fs = std::filesystem;
using kyvern::testing::WriteFileText;

// Every file the program writes goes through this replacement: what it must keep, and that no
// temporary file is ever left behind.
TEST(ReplaceFileAtomically, KeepsModeAndLinksAndLeavesNoTemporary) {
    // The path written; the file that must hold the bytes (null when the call fails); its mode.
    const struct {
        const char *path, *written;
        int mode;
    } cases[] = {{"plain.ini", "plain.ini", 0600},
                 {"link.ini", "target/real.ini", 0640},  // the target, through a relative link
                 {"missing/x.ini", nullptr, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        kyvern::testing::TempDir dir;
        fs::create_directory(dir.File("target"));
        for (const auto& [name, mode] : {std::pair{"plain.ini", 0600}, {"target/real.ini", 0640}}) {
            WriteFileText(dir.File(name), "old");
            fs::permissions(dir.File(name), fs::perms(mode));
        }
        fs::create_symlink("target/real.ini", dir.File("link.ini"));
        auto entries = [&] {
            return std::distance(fs::recursive_directory_iterator(dir.Path()), {});
        };
        const long before = entries();

        EXPECT_EQ(kyvern::base::ReplaceFileAtomically(dir.File(c.path), "new"),
                  c.written != nullptr);
        EXPECT_EQ(entries(), before);
        EXPECT_TRUE(fs::is_symlink(dir.File("link.ini")));
        if (!c.written) continue;
        EXPECT_EQ(kyvern::testing::ReadFileText(dir.File(c.written)), "new");
        EXPECT_EQ(int(fs::status(dir.File(c.written)).permissions()), c.mode);
    }
}
