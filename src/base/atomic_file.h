#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kyvern::base {

// A whole-file replacement written piece by piece. The bytes go to a temporary file beside
// the target; Commit flushes it to the disk, renames it over the target and flushes the folder,
// so a reader (or a crash, or a full disk) leaves the old file or the new one, never a part.
// When the path is a symbolic link, the file it points at is replaced and the link stays. An
// existing file keeps its permissions; a new one gets 0644 as far as the umask allows. The
// folder must exist. Whatever fails, the temporary file is removed and the target is untouched.
class FileReplacement {
public:
    explicit FileReplacement(const std::string& path);
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;
    // A written replacement may be handed to another thread to commit (FileCommitter).
    FileReplacement(FileReplacement&& other) noexcept;
    FileReplacement& operator=(FileReplacement&& other) noexcept;

    // False once anything has failed, from the creation of the temporary file on.
    bool Write(const void* data, std::size_t size);
    bool Write(std::string_view bytes) { return Write(bytes.data(), bytes.size()); }
    // Puts the new file in place; false, with the target untouched, when anything failed.
    bool Commit();
    // Why the replacement failed, for a message ("not a regular file", "No space left on
    // device"); empty while nothing has failed.
    const std::string& Failure() const { return failure_; }

private:
    void Discard();
    // Records the reason (errno's text unless one is given) and gives the temporary file up.
    void Fail(const char* reason = nullptr);

    std::string target_;
    std::string temporary_;
    int fd_ = -1;
    bool ok_ = false;
    std::string failure_;
};

// The whole replacement in one call; on failure, why it failed into failure when given.
bool ReplaceFileAtomically(const std::string& path, std::string_view bytes,
                           std::string* failure = nullptr);

// Removes from a folder the temporary files of replacements whose writer was killed: names
// of our pattern ("<target>.<writer pid>.<six letters or digits>") whose writer process is
// gone, or that nobody has written for an hour (a reused pid). Returns how many it removed.
int RemoveStaleTemporaries(const std::string& folder);

}  // namespace kyvern::base
