#pragma once

#include <string>

#include "base/settings_snapshot.h"
#include "data/shot_table.h"

namespace kyvern::data {

// What an export did, for the user: the shots written and the message to show.
struct CsvExportResult {
    bool ok = false;
    int shots = 0;
    std::string message;
};

// The shots of a table as CSV for a spreadsheet: a UTF-8 byte order mark, a row of column
// names, a row of units, then one row per shot row in table order (group rows are left out).
// Values are in the display units the settings select (an unknown word keeps the table's) and
// the flight is predicted with the ball and weather of the settings, which close each row.
// RFC 4180: fields holding a comma, a quote or a line break are quoted, quotes doubled; CRLF
// after every row. Names that are no valid UTF-8 get U+FFFD. A shot without club data (club
// speed 0) leaves its club cells, smash factor and score of 0 empty.
std::string FormatShotsCsv(const ShotTable& table, const base::SettingsSnapshot& settings);

// FormatShotsCsv written to path by atomic replacement: a failed export leaves any file there
// as it was.
CsvExportResult ExportShotsCsv(const ShotTable& table, const base::SettingsSnapshot& settings,
                               const std::string& path);

}  // namespace kyvern::data
