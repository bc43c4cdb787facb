// The shot table as CSV for a spreadsheet, read back as a spreadsheet reads it.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "data/csv_export.h"
#include "sample_shots.h"
#include "shot/units.h"

namespace d = kyvern::data;
namespace s = kyvern::shot;
using namespace kyvern::testing;

namespace {

using Records = std::vector<std::vector<std::string>>;

// RFC 4180 strictly: CRLF after every record, quotes only around a whole field. Anything else
// (a bare CR or LF, a stray quote) gives no records.
Records ReadCsv(std::string_view text) {
    Records rows(1, std::vector<std::string>(1));
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        std::string& field = rows.back().back();
        const bool next = i + 1 < text.size();
        if (quoted) {
            if (c != '"') {
                field += c;
            } else if (next && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else {
                quoted = false;
            }
        } else if (c == '"' && field.empty()) {
            quoted = true;
        } else if (c == ',') {
            rows.back().emplace_back();
        } else if (c == '\r' && next && text[i + 1] == '\n') {
            if (++i + 1 < text.size()) rows.emplace_back(1);
        } else if (c == '\r' || c == '\n' || c == '"') {
            return {};
        } else {
            field += c;
        }
    }
    return quoted || text.empty() || text.back() != '\n' ? Records{} : rows;
}

}  // namespace

TEST(CsvExport, OneRowPerShotInTheUnitsOfTheSettings) {
    TempHome home;
    Rig rig;
    // The shots are flown at 1,000 ft in a 10 mph wind, and each row keeps that weather and
    // its recorded flight whatever the settings say when it is exported.
    const SettingsFile air("[Weather]\nAltitude=1000\nWindSpeed=10\n");
    rig.table.SetFlightOptions(
        kyvern::flight::ReadFlightOptions(kyvern::base::SettingsSnapshot::Read(air.Path())));
    // Two drives (the second recorded while the table showed metres and km/h) and an iron
    // without club data; the names need quoting.
    d::ShotEntry drive = Drive("Driver, 1");
    drive.user = "Ann \"A\"";
    drive.session = "Morning\nLate";
    rig.table.AddShot(drive, false, true);
    d::ShotEntry iron = Drive("7 Iron", 180.0);
    iron.clubSpeed = iron.attackAngle = iron.pathAngle = iron.faceAngle = 0.0;
    iron.effectiveLoft = iron.score = 0.0;
    rig.table.AddShot(iron, false, true);
    rig.table.SetDistanceUnit(s::kMeters);
    rig.table.SetSpeedUnit(s::kKph);
    drive.timeText = "not a time";
    rig.table.AddShot(drive, false, true);

    // Units of ball speed, carry, flight time, altitude and wind speed; then per drive and iron
    // the ball speed, back spin, spin axis, carry, carry offline, total offline, club speed,
    // attack angle, smash factor, score, altitude and wind speed.
    const int units[] = {4, 12, 16, 24, 28};
    const int values[] = {4, 7, 10, 12, 13, 15, 17, 18, 22, 23, 24, 28};
    const struct {
        const char* distance;
        const char* speed;
        const char* units;
        const char* drive;
        const char* iron;
    } cases[] = {
        {"Yards", "MPH", "MPH|yd|s|ft|MPH",
         "150.0|2800|8.1|239.2|22.8|25.1|102.3|-1.2|1.47|87.3|1000.0|10.0",
         "122.7|2800|8.1|180.8|15.0|17.1|||||1000.0|10.0"},
        {"meters", "kph", "km/h|m|s|m|km/h",
         "241.4|2800|8.1|218.7|20.8|22.9|164.6|-1.2|1.47|87.3|304.8|16.1",
         "197.5|2800|8.1|165.3|13.7|15.6|||||304.8|16.1"},
    };
    const auto join = [](const std::vector<std::string>& row, const auto& columns) {
        std::string out;
        for (int c : columns)
            out += (c == columns[0] ? "" : "|") + row.at(c);
        return out;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.distance);
        SettingsFile settings(std::string("[Setup]\nDistanceDisplay=") + c.distance +
                              "\nSpeedDisplay=" + c.speed + "\n[Weather]\nAltitude=3000\n");
        const std::string path = home.File("shots.csv");
        const d::CsvExportResult result = d::ExportShotsCsv(
            rig.table, kyvern::base::SettingsSnapshot::Read(settings.Path()), path);
        ASSERT_TRUE(result.ok) << result.message;
        EXPECT_EQ(result.message, "3 shots exported to " + path);

        const std::string text = ReadFileText(path);
        ASSERT_EQ(text.rfind("\xEF\xBB\xBF", 0), 0u);
        const Records rows = ReadCsv(std::string_view(text).substr(3));
        ASSERT_EQ(rows.size(), 5u) << text;
        for (const auto& row : rows)
            ASSERT_EQ(row.size(), 30u);
        EXPECT_EQ(join(rows[1], units), c.units);
        // The drives in table order, the second written in metres and km/h, then the iron.
        for (int r : {2, 3, 4})
            EXPECT_EQ(join(rows[r], values), r < 4 ? c.drive : c.iron) << r;
        // The recorded flight, not one predicted again from the rounded cells: the iron's carry
        // is the one its row in the table shows.
        if (std::string(c.distance) == "Yards") {
            ASSERT_EQ(rig.table.ItemOf(5), "7 Iron");
            EXPECT_EQ(rows[4][12], rig.table.Cell(5, d::kCarryColumn));
        }
        const std::vector<std::string> names = {rows[2][0], rows[2][1], rows[2][2],
                                                rows[2][3], rows[3][0], rows[4][3]};
        EXPECT_EQ(names,
                  (std::vector<std::string>{"2024-03-05 14:22:05", "Ann \"A\"", "Morning\nLate",
                                            "Driver, 1", "not a time", "7 Iron"}));
    }

    // A folder that is not there: no file, and the reason.
    const d::CsvExportResult failed =
        d::ExportShotsCsv(rig.table, kyvern::base::SettingsSnapshot::Read(home.Settings()),
                          home.File("no/such/shots.csv"));
    EXPECT_FALSE(failed.ok);
    EXPECT_EQ(failed.message.rfind("Couldn't create the CSV file (" + home.File("no/such/"), 0), 0u)
        << failed.message;
}
