#include "base/file_committer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/temp_dir.h"

namespace fs = std::filesystem;
using kyvern::base::FileCommitter;
using kyvern::base::FileReplacement;
using kyvern::base::Status;
using kyvern::testing::ReadFileText;
using kyvern::testing::WriteFileText;

namespace {

FileReplacement Written(const std::string& path, const std::string& bytes) {
    FileReplacement file(path);
    EXPECT_TRUE(file.Write(bytes));
    return file;
}

FileCommitter::Explain Named(const std::string& name) {
    return [name](const std::string& why) { return Status::Failure(name + ": " + why); };
}

}  // namespace

// The shot cycle's pictures: the old file stays until the commit, Wait returns only when every
// file handed over is in place, a commit that fails comes back in the caller's words, and the
// committer's end commits what is still queued.
TEST(FileCommitter, CommitsInOrderAndReportsFailuresAtWait) {
    kyvern::testing::TempDir dir;
    fs::create_directory(dir.File("gone"));
    WriteFileText(dir.File("a.bmp"), "old a");
    {
        FileCommitter committer;
        FileReplacement a = Written(dir.File("a.bmp"), "new a");
        FileReplacement lost = Written(dir.File("gone/b.bmp"), "new b");
        EXPECT_EQ(ReadFileText(dir.File("a.bmp")), "old a");  // written, not yet in place
        fs::remove_all(dir.File("gone"));                     // the folder goes before the commit
        committer.Commit(std::move(a), Named("a"));
        committer.Commit(std::move(lost), Named("b"));
        committer.Commit(Written(dir.File("c.bmp"), "new c"), Named("c"));
        const std::vector<Status> failures = committer.Wait();
        EXPECT_EQ(ReadFileText(dir.File("a.bmp")), "new a");
        EXPECT_EQ(ReadFileText(dir.File("c.bmp")), "new c");
        ASSERT_EQ(failures.size(), 1u);
        EXPECT_EQ(failures[0].Reason().rfind("b: ", 0), 0u) << failures[0].Reason();
        EXPECT_TRUE(committer.Wait().empty());  // told once

        committer.Commit(Written(dir.File("d.bmp"), "new d"), Named("d"));
    }
    EXPECT_EQ(ReadFileText(dir.File("d.bmp")), "new d");
    std::size_t left = 0;
    for (const auto& entry : fs::directory_iterator(dir.Path()))
        left += entry.path().filename().string().find(".bmp.") != std::string::npos ? 1 : 0;
    EXPECT_EQ(left, 0u);  // no temporary file behind
}
