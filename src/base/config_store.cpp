#include "base/config_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "base/atomic_file.h"
#include "base/regular_file.h"

namespace kyvern::base {

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// One line of the file, split into the parts the rules look at.
struct Line {
    std::string_view raw;  // without its line end
    bool isSection = false;
    std::string_view name;  // section name or key, trimmed
    std::string_view value;
    bool isPair = false;
};

Line Parse(std::string_view raw) {
    Line line;
    line.raw = raw;
    std::string_view t = Trim(raw);
    if (t.empty() || t.front() == ';' || t.front() == '#') return line;
    if (t.front() == '[') {
        std::size_t close = t.find(']');
        if (close != std::string_view::npos) {
            line.isSection = true;
            line.name = Trim(t.substr(1, close - 1));
        }
        return line;
    }
    std::size_t eq = t.find('=');
    if (eq == std::string_view::npos) return line;
    line.isPair = true;
    line.name = Trim(t.substr(0, eq));
    std::string_view v = Trim(t.substr(eq + 1));
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
        v = v.substr(1, v.size() - 2);
    }
    line.value = v;
    return line;
}

// Splits text into lines; each entry keeps its own line end so that a rewrite is byte-exact.
std::vector<std::string_view> SplitKeepingEnds(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t nl = text.find('\n', start);
        std::size_t end = (nl == std::string_view::npos) ? text.size() : nl + 1;
        lines.push_back(text.substr(start, end - start));
        start = end;
    }
    return lines;
}

std::string_view StripEnd(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    return line;
}

std::string Cut(std::string_view text, std::size_t bufferLength) {
    if (bufferLength == 0) return {};
    if (text.size() > bufferLength - 1) text = text.substr(0, bufferLength - 1);
    return std::string(text);
}

// Writers serialise on the folder that holds the file. A lock on the file itself would not
// do: every write replaces the file, so a writer waiting on the old file would keep losing the
// race to the next writer of the new one.
int LockFolder(const std::filesystem::path& folder) {
    int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return -1;
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            ::close(fd);
            return -1;
        }
    }
    return fd;
}

}  // namespace

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) return false;
    }
    return true;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::string OneLine(std::string text) {
    for (char& c : text) {
        if (c == '\n' || c == '\r' || c == '\t') c = ' ';
    }
    return text;
}

bool ConfigStore::FindValue(std::string_view text, std::string_view section, std::string_view key,
                            std::string& value) {
    std::string_view wantSection = Trim(section);
    std::string_view wantKey = Trim(key);
    bool inSection = false;
    for (std::string_view raw : SplitKeepingEnds(text)) {
        Line line = Parse(StripEnd(raw));
        if (line.isSection) {
            inSection = EqualsNoCase(line.name, wantSection);
        } else if (inSection && line.isPair && EqualsNoCase(line.name, wantKey)) {
            value.assign(line.value);
            return true;
        }
    }
    return false;
}

std::string ConfigStore::SetValue(std::string_view text, std::string_view section,
                                  std::string_view key, std::string_view value) {
    std::string_view wantSection = Trim(section);
    std::string_view wantKey = Trim(key);
    std::vector<std::string_view> lines = SplitKeepingEnds(text);
    // Keep the file's own line ends when it has them.
    const char* eol = text.find("\r\n") != std::string_view::npos ? "\r\n" : "\n";
    std::string pair = std::string(wantKey) + "=" + std::string(value);

    bool inSection = false;
    std::size_t sectionLastPair = lines.size();  // index after which to insert in our section
    bool sectionFound = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        Line line = Parse(StripEnd(lines[i]));
        if (line.isSection) {
            if (inSection) break;  // end of the first matching section
            inSection = EqualsNoCase(line.name, wantSection);
            if (inSection) {
                sectionFound = true;
                sectionLastPair = i;
            }
            continue;
        }
        if (!inSection) continue;
        if (line.isPair && EqualsNoCase(line.name, wantKey)) {
            std::string out;
            for (std::size_t j = 0; j < lines.size(); ++j) {
                if (j == i) {
                    std::string_view ending = lines[j].substr(StripEnd(lines[j]).size());
                    out += pair;
                    out += ending;
                } else {
                    out += lines[j];
                }
            }
            return out;
        }
        if (!Trim(line.raw).empty()) sectionLastPair = i;
    }

    std::string out;
    if (sectionFound) {
        for (std::size_t j = 0; j < lines.size(); ++j) {
            out += lines[j];
            if (j == sectionLastPair) {
                // Lines end only at '\n': a last line ending in a lone '\r' needs one too.
                if (lines[j].back() != '\n') out += eol;
                out += pair;
                out += eol;
            }
        }
        return out;
    }
    out.assign(text);
    if (!out.empty() && out.back() != '\n') out += eol;
    out += "[";
    out += wantSection;
    out += "]";
    out += eol;
    out += pair;
    out += eol;
    return out;
}

std::string ConfigStore::ReadSetting(const std::string& path, std::string_view section,
                                     std::string_view key, std::string_view defaultValue,
                                     std::size_t bufferLength) {
    std::optional<std::string> value = FindSetting(path, section, key, bufferLength);
    return value ? std::move(*value) : Cut(defaultValue, bufferLength);
}

std::optional<std::string> ConfigStore::FindSetting(const std::string& path,
                                                    std::string_view section, std::string_view key,
                                                    std::size_t bufferLength) {
    std::string text;
    std::string value;
    if (ReadRegularFile(path, kMaxSettingsFileBytes, text) == ReadRefusal::kNone &&
        FindValue(text, section, key, value)) {
        return Cut(value, bufferLength);
    }
    return std::nullopt;
}

std::vector<std::string> ConfigStore::SectionKeys(const std::string& path,
                                                  std::string_view section) {
    std::vector<std::string> keys;
    std::string text;
    if (ReadRegularFile(path, kMaxSettingsFileBytes, text) != ReadRefusal::kNone) return keys;
    const std::string_view wantSection = Trim(section);
    bool inSection = false;
    for (std::string_view raw : SplitKeepingEnds(text)) {
        const Line line = Parse(StripEnd(raw));
        if (line.isSection) {
            inSection = EqualsNoCase(line.name, wantSection);
        } else if (inSection && line.isPair && !line.name.empty() &&
                   std::none_of(keys.begin(), keys.end(),
                                [&](const std::string& k) { return EqualsNoCase(k, line.name); })) {
            keys.emplace_back(line.name);
        }
    }
    return keys;
}

bool ConfigStore::WriteSetting(const std::string& path, std::string_view section,
                               std::string_view key, std::string_view value) {
    return WriteSettings(path, {Write{std::string(section), std::string(key), std::string(value)}});
}

bool ConfigStore::WriteSettings(const std::string& path, const std::vector<Write>& writes,
                                std::string* failure) {
    namespace fs = std::filesystem;
    auto fail = [failure](const char* why) {
        if (failure != nullptr) *failure = why;
        return false;
    };
    if (path.empty()) return fail("no file");
    for (const Write& w : writes) {
        if (Trim(w.section).empty() || Trim(w.key).empty()) return fail("a key without a name");
        // A line break inside a name or value would forge other lines of the file.
        for (std::string_view part :
             {std::string_view(w.section), std::string_view(w.key), std::string_view(w.value)}) {
            if (part.find_first_of("\r\n") != std::string_view::npos)
                return fail("a line break in a key");
        }
    }
    std::error_code ec;
    fs::path target(path);
    if (target.has_parent_path()) fs::create_directories(target.parent_path(), ec);

    int lock = LockFolder(target.parent_path());
    if (lock < 0) return fail("its folder cannot be locked");
    std::string text;
    // A file that cannot be read whole is not replaced: its keys would be lost.
    const ReadRefusal refusal = ReadRegularFile(path, kMaxSettingsFileBytes, text);
    bool ok = refusal == ReadRefusal::kNone || refusal == ReadRefusal::kMissing;
    if (ok) {
        for (const Write& w : writes)
            text = SetValue(text, w.section, w.key, w.value);
        ok = ReplaceFileAtomically(path, text, failure);
    } else if (failure != nullptr) {
        *failure = RefusalText(refusal, kMaxSettingsFileBytes);
    }
    ::close(lock);  // released only once the new file is in place
    return ok;
}

}  // namespace kyvern::base
