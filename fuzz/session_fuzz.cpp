// Arbitrary bytes as a session file: loading never crashes, never changes the file, leaves a
// table whose every shot row stands in a group, and what it loaded saves and loads again.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "data/session_file.h"
#include "data/shot_table.h"
#include "data/text_format.h"

namespace {

std::string gFolder;
std::string gFile;

void RemoveFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(gFolder, ignored);
}

constexpr std::string_view kEarlierHeader =
    "User, Session, Item, ShotNum, Ball Speed MPH, Vertical, Total Spin, Back Spin, Side Spin, "
    "Side Angle, Club Speed, Downrange, Offline, Total, Flight Time, Max Altitude, Dx Units, "
    "Speed Units, Date, Time\n";

bool WellFormed(const kyvern::data::ShotTable& t) {
    if (t.RowCount() < 1) return false;
    if (t.RowCount() == 1) return true;
    if (!t.IsGroupRow(1)) return false;
    for (int r = 1; r < t.RowCount(); ++r) {
        const bool group = t.IsGroupRow(r);
        if (group && (r + 1 == t.RowCount() || t.IsGroupRow(r + 1))) return false;
        if (!group && !t.Cell(r, 0).empty()) return false;
    }
    return true;
}

int ShotRows(const kyvern::data::ShotTable& t) {
    int n = 0;
    for (int r = 1; r < t.RowCount(); ++r)
        n += t.IsGroupRow(r) ? 0 : 1;
    return n;
}

std::string ReadAll(const std::string& path) {
    std::string text;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            text.append(buffer, n);
        std::fclose(f);
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string pattern = (std::filesystem::temp_directory_path() / "kyvern-fuzz-XXXXXX").string();
    const char* folder = ::mkdtemp(pattern.data());
    if (!folder) std::abort();
    ::setenv("KYVERN_HOME", folder, 1);
    gFolder = folder;
    gFile = gFolder + "/session.txt";
    std::atexit(RemoveFolder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The first byte may put a header of either layout in front, so that the data lines are
    // reached without the fuzzer having to find a 300-character header by itself.
    std::string bytes;
    if (size > 0 && (data[0] & 3) != 0) {
        bytes = (data[0] & 1) ? std::string(kyvern::data::kSessionHeaderLine)
                              : std::string(kEarlierHeader);
        if (data[0] & 4) bytes = kyvern::data::WithCrLf(bytes);
        ++data;
        --size;
    }
    bytes.append(reinterpret_cast<const char*>(data), size);
    if (std::FILE* f = std::fopen(gFile.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }

    kyvern::data::ShotTable table(
        {}, kyvern::base::Settings());  // headers only; the widths are not wanted here
    kyvern::data::LoadReport report;
    if (!kyvern::data::LoadSession(table, gFile, report)) std::abort();
    if (ReadAll(gFile) != bytes) std::abort();
    if (!WellFormed(table)) std::abort();
    if (report.loaded != ShotRows(table) || report.skipped < 0) std::abort();

    // Everything loaded formats into lines that load again without a crash.
    const std::string saved = kyvern::data::FormatSession(table, "user", "session");
    kyvern::data::ShotTable again({}, kyvern::base::Settings());
    const kyvern::data::LoadReport second = kyvern::data::LoadSessionText(again, saved);
    if (report.loaded > 0 && !second.headerFound) std::abort();
    if (!WellFormed(again) || second.loaded > report.loaded) std::abort();
    return 0;
}
