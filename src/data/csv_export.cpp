#include "data/csv_export.h"

#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "base/atomic_file.h"
#include "base/config_store.h"
#include "base/math_constants.h"
#include "base/string_table.h"
#include "data/text_format.h"
#include "flight/flight_model.h"
#include "shot/text_formats.h"
#include "shot/units.h"

namespace kyvern::data {

namespace {

// Spreadsheets take the file for UTF-8 only with the mark; scripts that read CSV skip it.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

enum class Unit { kNone, kSpeed, kDistance, kDegrees, kRpm, kSeconds, kAltitude, kWeather };

struct CsvColumn {
    const char* name;
    Unit unit;
    const char* fixedUnit = "";  // the unit of kWeather columns
};

// Names are fixed English: scripts key on them whatever the program's language.
constexpr std::array<CsvColumn, 30> kColumns{{
    {"Date and Time", Unit::kNone},
    {"Player", Unit::kNone},
    {"Session", Unit::kNone},
    {"Club", Unit::kNone},
    {"Ball Speed", Unit::kSpeed},
    {"Launch Angle", Unit::kDegrees},
    {"Launch Direction", Unit::kDegrees},
    {"Back Spin", Unit::kRpm},
    {"Side Spin", Unit::kRpm},
    {"Total Spin", Unit::kRpm},
    {"Spin Axis", Unit::kDegrees},
    {"Apex Height", Unit::kDistance},
    {"Carry", Unit::kDistance},
    {"Carry Offline", Unit::kDistance},
    {"Total", Unit::kDistance},
    {"Total Offline", Unit::kDistance},
    {"Flight Time", Unit::kSeconds},
    {"Club Speed", Unit::kSpeed},
    {"Attack Angle", Unit::kDegrees},
    {"Club Path", Unit::kDegrees},
    {"Face Angle", Unit::kDegrees},
    {"Effective Loft", Unit::kDegrees},
    {"Smash Factor", Unit::kNone},
    {"Score", Unit::kNone},
    {"Altitude", Unit::kAltitude},
    {"Temperature", Unit::kWeather, "F"},
    {"Humidity", Unit::kWeather, "%"},
    {"Barometer", Unit::kWeather, "inHg"},
    {"Wind Speed", Unit::kSpeed},
    {"Wind Direction", Unit::kDegrees},
}};

// Each broken UTF-8 sequence (a stray byte, a sequence cut short, an overlong form, a
// surrogate) becomes one U+FFFD.
std::string ValidUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        unsigned char low = 0x80, high = 0xBF;  // range of the second byte
        if (lead < 0x80) {
            length = 1;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0) low = 0xA0;
            if (lead == 0xED) high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;
        }
        std::size_t n = 1;
        for (; n < length && i + n < text.size(); ++n) {
            const auto c = static_cast<unsigned char>(text[i + n]);
            if (c < (n == 1 ? low : 0x80) || c > (n == 1 ? high : 0xBF)) break;
        }
        if (length != 0 && n == length) {
            out.append(text.substr(i, n));
        } else {
            out.append(kReplacement);
        }
        i += n;
    }
    return out;
}

// RFC 4180: quoted when it holds a comma, a quote or a line break, its quotes doubled.
std::string Field(std::string_view text) {
    std::string valid = ValidUtf8(text);
    if (valid.find_first_of(",\"\r\n") == std::string::npos) return valid;
    std::string out = "\"";
    for (char c : valid) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

// "05/Mar/2024 14:22:05" as "2024-03-05 14:22:05", which spreadsheets take for a date and
// time; any other text as it stands.
std::string IsoTime(std::string_view when) {
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::string text(base::Trim(when));
    int day = 0, year = 0, hour = 0, minute = 0, second = 0, used = 0;
    char month[4] = {};
    if (std::sscanf(text.c_str(), "%2d/%3[A-Za-z]/%4d %2d:%2d:%2d%n", &day, month, &year, &hour,
                    &minute, &second, &used) != 6 ||
        static_cast<std::size_t>(used) != text.size()) {
        return text;
    }
    for (int m = 0; m < 12; ++m) {
        if (!base::EqualsNoCase(month, kMonths[m])) continue;
        if (day < 1 || day > 31 || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
            second < 0 || second > 60)
            break;
        return Printf("%04d-%02d-%02d %02d:%02d:%02d", year, m + 1, day, hour, minute, second);
    }
    return text;
}

std::string UnitText(const CsvColumn& column, int distance, int speed) {
    switch (column.unit) {
        case Unit::kNone:
            return {};
        case Unit::kSpeed:
            return shot::SpeedLabel(speed);
        case Unit::kDistance:
            return shot::DistanceLabel(distance);
        case Unit::kDegrees:
            return "deg";
        case Unit::kRpm:
            return "rpm";
        case Unit::kSeconds:
            return "s";
        case Unit::kAltitude:
            return distance == shot::kMeters ? "m" : "ft";
        case Unit::kWeather:
            break;
    }
    return column.fixedUnit;
}

void AppendRow(std::string& out, const std::string* fields, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) out += ',';
        out += fields[i];
    }
    out += "\r\n";
}

}  // namespace

std::string FormatShotsCsv(const ShotTable& table, const base::SettingsSnapshot& settings) {
    const int distance = shot::ReadDistanceUnit(settings, table.DistanceUnit());
    const int speed = shot::ReadSpeedUnit(settings, table.SpeedUnit());
    std::array<std::string, kColumns.size()> fields;
    std::string out(kByteOrderMark);
    for (std::size_t c = 0; c < kColumns.size(); ++c)
        fields[c] = kColumns[c].name;
    AppendRow(out, fields.data(), fields.size());
    for (std::size_t c = 0; c < kColumns.size(); ++c)
        fields[c] = UnitText(kColumns[c], distance, speed);
    AppendRow(out, fields.data(), fields.size());

    const flight::FlightOptions air = flight::ReadFlightOptions(settings);
    const auto value = [](double v) { return shot::FormatValue(v); };
    const auto toSpeed = [&](double feetPerSecond) {
        return value(shot::ToDisplaySpeed(feetPerSecond, speed));
    };
    const auto toDistance = [&](double yards) {
        return value(shot::ToDisplayDistance(yards, distance));
    };
    ShotValues spare;
    for (int r = 1; r < table.RowCount(); ++r) {
        if (table.IsGroupRow(r)) continue;
        // The values the table recorded, unrounded, and the flight it predicted with them.
        const ShotValues& v = table.ValuesOrCells(r, air, spare);
        const ShotEntry& e = v.entry;
        const flight::FlightSummary& flown = v.flight;
        // The weather closes every row: the flight of each was predicted in it.
        const flight::Weather& w = v.flown.weather;
        const std::string weather[] = {
            value(distance == shot::kMeters ? w.altitude * 0.3048 : w.altitude),
            value(w.temperature),
            value(w.humidity),
            Printf("%.2f", w.barometer),
            toSpeed(w.windSpeed * 5280.0 / 3600.0),
            Printf("%.0f", w.windDir),
        };
        const double ballSpeed = e.ballSpeed;
        const double clubSpeed = e.clubSpeed;
        const double backSpin = e.backSpin;
        const double sideSpin = e.sideSpin;
        const bool hasClub = clubSpeed > 0.0;
        const auto club = [&](double angle) { return hasClub ? value(angle) : std::string(); };
        const double score = e.score;
        // A positive side spin curves the ball left: the axis tilts right for negative spin.
        const double spinAxis = backSpin == 0.0 && sideSpin == 0.0
                                    ? 0.0
                                    : std::atan2(-sideSpin, backSpin) * base::kRadiansToDegrees;

        std::size_t f = 0;
        fields[f++] = Field(IsoTime(table.Cell(r, kWhenColumn)));
        fields[f++] = Field(table.Cell(r, kUserColumn));
        fields[f++] = Field(table.Cell(r, kSessionColumn));
        fields[f++] = Field(table.ItemOf(r));
        fields[f++] = toSpeed(ballSpeed);
        fields[f++] = value(e.launchAngle);
        fields[f++] = value(e.sideAngle);
        fields[f++] = shot::FormatTableSpin(backSpin);
        fields[f++] = shot::FormatTableSpin(sideSpin);
        fields[f++] = shot::FormatTableSpin(e.totalSpin);
        fields[f++] = value(spinAxis);
        fields[f++] = toDistance(flown.maxHeight);
        fields[f++] = toDistance(flown.carry);
        fields[f++] = toDistance(flown.carryOffline);
        fields[f++] = toDistance(flown.total);
        fields[f++] = toDistance(flown.totalOffline);
        fields[f++] = value(flown.flightTime);
        fields[f++] = hasClub ? toSpeed(clubSpeed) : std::string();
        fields[f++] = club(e.attackAngle);
        fields[f++] = club(e.pathAngle);
        fields[f++] = club(e.faceAngle);
        fields[f++] = club(e.effectiveLoft);
        fields[f++] = hasClub ? Printf("%.2f", ballSpeed / clubSpeed) : std::string();
        fields[f++] = score != 0.0 ? shot::FormatShotScore(score) : std::string();
        for (const std::string& w : weather)
            fields[f++] = w;
        AppendRow(out, fields.data(), f);
    }
    return out;
}

CsvExportResult ExportShotsCsv(const ShotTable& table, const base::SettingsSnapshot& settings,
                               const std::string& path) {
    CsvExportResult result;
    for (int r = 1; r < table.RowCount(); ++r)
        result.shots += table.IsGroupRow(r) ? 0 : 1;
    errno = 0;
    result.ok = !path.empty() && base::ReplaceFileAtomically(path, FormatShotsCsv(table, settings));
    if (result.ok) {
        result.message = Printf(std::string(base::Text(base::MessageId::kCsvExported)).c_str(),
                                result.shots, path.c_str());
    } else {
        const int error = errno;
        result.message = std::string(base::Text(base::MessageId::kCouldNotCreateCsvFile)) + " (" +
                         path + (error != 0 ? std::string(": ") + std::strerror(error) : "") + ")";
    }
    return result;
}

}  // namespace kyvern::data
