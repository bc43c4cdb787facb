#include "store/session_import.h"

#include <unordered_map>
#include <vector>

#include "data/session_file.h"
#include "data/shot_table.h"
#include "shot/units.h"

namespace kyvern::store {

namespace {

ImportReport ImportOne(ShotStore& store, const std::string& path, const std::string& bay) {
    ImportReport report;
    report.path = path;
    data::ShotTable table({}, base::Settings());
    table.SetupTable();
    data::LoadReport load;
    if (auto s = data::LoadSession(table, path, load); !s) {
        report.status = s;
        return report;
    }
    if (!load.headerFound) {
        report.status = base::Status::Failure("The file " + path +
                                              " is not a session file: it has no column header");
        return report;
    }
    report.loaded = load.loaded;
    report.skipped = load.skipped;
    // Two equal lines are two shots: the count of each line so far tells them apart.
    std::unordered_map<std::string, int> seen;
    std::vector<StoredShot> shots;
    for (int row = 1; row < table.RowCount(); ++row) {
        const data::ShotValues* values = table.Values(row);
        if (!values) continue;
        const std::string item = table.ItemOf(row);
        // The row's cells but its number and plot colour, which change when rows move.
        std::string numberless;
        for (int c = 0; c < data::kColumnCount; ++c) {
            if (c == data::kShotColumn || c == data::kPlotColumn) continue;
            numberless += table.Cell(row, c);
            numberless += '\x1f';
        }
        const int occurrence = seen[numberless]++;
        const auto timeMs = TimeMsFromTableText(values->entry.timeText).value_or(0);
        StoredShot shot = StoredShotFromEntry(*values, timeMs, bay);
        shot.item = item;
        const std::string units = table.Cell(row, data::kUnitsColumn);
        const std::size_t blank = units.find(' ');
        shot.distanceUnit = shot::DistanceUnitIndex(units.substr(0, blank), table.DistanceUnit());
        shot.speedUnit = shot::SpeedUnitIndex(
            blank == std::string::npos ? std::string() : units.substr(blank + 1),
            table.SpeedUnit());
        shot.id = ImportShotId(numberless, occurrence);
        shots.push_back(std::move(shot));
    }
    int added = 0;
    if (auto s = store.WriteMany(shots, added); !s) {
        report.status = s;
        return report;
    }
    report.added = added;
    report.skipped += static_cast<int>(shots.size()) - added;
    return report;
}

}  // namespace

std::vector<ImportReport> ImportSessions(ShotStore& store, const std::vector<std::string>& paths,
                                         const std::string& bay) {
    std::vector<ImportReport> reports;
    reports.reserve(paths.size());
    for (const std::string& path : paths)
        reports.push_back(ImportOne(store, path, bay));
    return reports;
}

}  // namespace kyvern::store
