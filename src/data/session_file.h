#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "data/shot_table.h"

namespace kyvern::data {

// The column header line of session files (the shot log has none).
inline constexpr std::string_view kSessionHeaderLine =
    "User, Session, Item, ShotNum, Ball Speed MPH, Vertical, Total Spin, Back Spin, Side Spin, "
    "Side Angle, Club Speed, Downrange, Offline, Total, Flight Time, Max Altitude, Dx Units, "
    "Speed Units, Date, Time, Score, Group Score, Angle of Attack, Path Angle, Face Angle, "
    "Effective Loft, Club Mass, Club Loft\n";

// What a load found.
struct LoadReport {
    bool opened = false;         // the file could be read
    bool headerFound = false;    // a column header line was found
    bool earlierLayout = false;  // the header had no club columns
    int loaded = 0;              // shots added to the table
    int skipped = 0;             // data lines that could not be read (blank lines not counted)
};

// The data line of one shot row: 28 fields, each followed by ", ", names quoted, then "\n".
// Row 0 gives the header line. The first form takes the item from the row's group.
std::string FormatShotLine(const ShotTable& table, int row);
std::string FormatShotLine(const ShotTable& table, int row, std::string_view item);

// The whole session text with "\n" line ends: title, creation time, player and session names,
// header line and one line per shot row in table order.
std::string FormatSession(const ShotTable& table, std::string_view user, std::string_view session);

// Writes the session file with "\r\n" line ends. The file is replaced only once every byte is
// on disk; on any failure the old file stays as it was and the failure reads "Couldn't create
// the data file". Clears the table's unsaved flag on success.
[[nodiscard]] base::Status SaveSession(ShotTable& table, const std::string& path,
                                       std::string_view user, std::string_view session);
// "Save Session" after its dialog: remembers the path as MRU/MostRecentSession, then saves.
[[nodiscard]] base::Status SaveSessionAs(ShotTable& table, const std::string& path,
                                         std::string_view user, std::string_view session);

// The largest session file read: some 500,000 shots. Anything larger, or anything that is not
// a regular file (a FIFO, /dev/zero), is refused before it is read.
inline constexpr std::uint64_t kMaxSessionFileBytes = 256ull << 20;

// "Load Session" after its dialog: adds the file's shots to the table (it is not cleared).
// The file is only read. A file that cannot be read fails with "Can't open file", the path and
// the reason.
[[nodiscard]] base::Status LoadSession(ShotTable& table, const std::string& path,
                                       LoadReport& report);
[[nodiscard]] base::Status LoadSession(ShotTable& table, const std::string& path);
// The same rules on a text already in memory ("\r\n" or "\n" line ends).
LoadReport LoadSessionText(ShotTable& table, std::string_view text);

}  // namespace kyvern::data
