#include "data/session_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cmath>
#include <vector>

#include "base/atomic_file.h"
#include "base/config_store.h"
#include "base/regular_file.h"
#include "base/settings_schema.h"
#include "base/string_table.h"
#include "data/text_format.h"
#include "shot/text_formats.h"

namespace kyvern::data {

namespace {

constexpr std::size_t kShortestLine = 50;

bool IsBlankLine(std::string_view line) { return base::Trim(line).empty(); }

// "ShotNum" (or another word) after the line's second character.
bool HasWordAfterSecond(std::string_view line, std::string_view word) {
    return line.size() > 2 && line.find(word, 2) != std::string_view::npos;
}

// Appended, not "\"" + std::string: GCC 12 at -O3 takes that for an overlapping copy (-Wrestrict).
std::string Quoted(std::string_view text) {
    return std::string(1, '"').append(text).append(1, '"');
}

// Text up to the first blank and after it, each trimmed.
std::string_view BeforeBlank(std::string_view text) {
    const std::size_t blank = text.find(' ');
    return base::Trim(blank == std::string_view::npos ? text : text.substr(0, blank));
}
std::string_view AfterBlank(std::string_view text) {
    const std::size_t blank = text.find(' ');
    return blank == std::string_view::npos ? std::string_view{}
                                           : base::Trim(text.substr(blank + 1));
}

// --- Reading a data line ---

// The field up to the next comma; false (and the rest as the field) when there is no comma.
bool TakeField(std::string_view& rest, std::string_view& field) {
    const std::size_t comma = rest.find(',');
    if (comma == std::string_view::npos) {
        field = rest;
        rest = {};
        return false;
    }
    field = rest.substr(0, comma);
    rest.remove_prefix(comma + 1);
    return true;
}

// A quoted name runs to the closing quote that a comma follows, so a name may hold commas.
bool TakeName(std::string_view& rest, std::string_view& field) {
    std::size_t i = 0;
    while (i < rest.size() && (rest[i] == ' ' || rest[i] == '\t'))
        ++i;
    if (i < rest.size() && rest[i] == '"') {
        for (std::size_t q = rest.find('"', i + 1); q != std::string_view::npos;
             q = rest.find('"', q + 1)) {
            std::size_t k = q + 1;
            while (k < rest.size() && (rest[k] == ' ' || rest[k] == '\t'))
                ++k;
            if (k < rest.size() && rest[k] == ',') {
                field = rest.substr(0, k);
                rest.remove_prefix(k + 1);
                return true;
            }
        }
    }
    return TakeField(rest, field);
}

std::string NameOf(std::string_view field) {
    std::string_view t = base::Trim(field);
    if (!t.empty() && t.front() == '"') t.remove_prefix(1);
    if (!t.empty() && t.back() == '"') t.remove_suffix(1);
    return std::string(base::Trim(t));
}

struct ParsedLine {
    ShotEntry shot;
    double displayBallSpeed = 0.0;  // as the file has it
    double displayClubSpeed = 0.0;
    double carry = 0.0, offline = 0.0, total = 0.0, flightTime = 0.0;  // as the file has them
    std::string distanceWord;
    std::string speedWord;
};

bool ParseLine(std::string_view line, bool earlier, ParsedLine& out) {
    std::string_view rest = line;
    std::string_view f;
    ShotEntry& s = out.shot;
    if (!TakeName(rest, f)) return false;
    s.user = NameOf(f);
    if (!TakeName(rest, f)) return false;
    s.session = NameOf(f);
    if (!TakeName(rest, f)) return false;
    s.item = NameOf(f);
    if (!TakeField(rest, f)) return false;  // the shot number: the table renumbers

    std::array<double, 12> numbers{};
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        if (!TakeField(rest, f)) return false;
        numbers[i] = ReadDouble(f);
        // A spin written with its doubt: the number reads as before, the doubt goes with it.
        if (i >= 2 && i <= 4 && base::Trim(f).ends_with('?')) s.spinDoubtful = true;
    }
    out.displayBallSpeed = numbers[0];
    s.launchAngle = numbers[1];
    s.totalSpin = numbers[2];
    s.backSpin = numbers[3];
    s.sideSpin = numbers[4];
    s.sideAngle = numbers[5];
    out.displayClubSpeed = numbers[6];
    // Downrange, offline, total, flight time and height are the table's own to compute, but
    // for a putt's: its roll came from the green it was putted on.
    out.carry = numbers[7];
    out.offline = numbers[8];
    out.total = numbers[9];
    out.flightTime = numbers[10];

    if (!TakeField(rest, f)) return false;
    out.distanceWord = base::Trim(f);
    if (!TakeField(rest, f)) return false;
    out.speedWord = base::Trim(f);
    if (!TakeField(rest, f)) return false;
    const std::string_view date = base::Trim(f);

    if (earlier) {
        // The time is the nine characters after the date's comma; nothing follows it.
        const std::string_view time =
            base::Trim(rest.substr(0, std::min<std::size_t>(9, rest.size())));
        s.timeText = std::string(date) + " " + std::string(time);
        return true;
    }

    if (!TakeField(rest, f)) return false;  // no comma before the score
    s.timeText = std::string(date) + " " + std::string(base::Trim(f));
    if (!TakeField(rest, f)) return false;  // no comma after the score
    s.score = ReadDouble(f);
    // Group score (not used), then the club values; missing trailing fields read as 0.
    std::array<double*, 7> tail{nullptr,          &s.attackAngle, &s.pathAngle, &s.faceAngle,
                                &s.effectiveLoft, &s.clubMass,    &s.clubLoft};
    for (double* target : tail) {
        if (rest.empty()) break;
        TakeField(rest, f);
        if (target) *target = ReadDouble(f);
    }
    return true;
}

void ApplyUnits(ShotTable& table, const ParsedLine& p, bool earlier) {
    const std::string_view d = p.distanceWord;
    for (int i = 0; i < 3; ++i) {
        if (base::EqualsNoCase(d, ShotTable::DistanceWord(i))) table.SetDistanceUnit(i);
    }
    const std::string_view s = p.speedWord;
    if (base::EqualsNoCase(s, "MPH")) {
        table.SetSpeedUnit(0);
    } else if (base::EqualsNoCase(s, "FPS")) {
        table.SetSpeedUnit(1);
    } else if (earlier ? base::EqualsNoCase(s, "KMH")
                       : (base::EqualsNoCase(s, "KPH") || base::EqualsNoCase(s, "km/h"))) {
        table.SetSpeedUnit(2);
    } else if (base::EqualsNoCase(s, "m/s")) {
        table.SetSpeedUnit(3);
    }
}

double ToFeetPerSecond(double speed, int unit) {
    switch (unit) {
        case 0:
            return speed * 5280.0 / 3600.0;
        case 2:
            return speed / 1.09728;
        case 3:
            return speed / 0.3048;
        default:
            return speed;
    }
}

bool AllFinite(const ShotEntry& s) {
    const double values[] = {s.ballSpeed, s.launchAngle, s.totalSpin,     s.backSpin,
                             s.sideSpin,  s.sideAngle,   s.clubSpeed,     s.attackAngle,
                             s.pathAngle, s.faceAngle,   s.effectiveLoft, s.score,
                             s.clubMass,  s.clubLoft};
    for (double v : values) {
        if (!std::isfinite(v)) return false;
    }
    return true;
}

// Splits at "\n", dropping one "\r" before it.
std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

// --- Writing ---

// Line breaks become blanks, so that no name can start a line of its own (a forged header).
std::string OnOneLine(std::string_view text) {
    std::string line(text);
    for (char& c : line) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    return line;
}

}  // namespace

std::string FormatShotLine(const ShotTable& table, int row) {
    return FormatShotLine(table, row, table.ItemOf(row));
}

std::string FormatShotLine(const ShotTable& table, int row, std::string_view item) {
    if (row == 0) return std::string(kSessionHeaderLine);
    auto cell = [&](int column) -> std::string_view { return table.Cell(row, column); };
    // A doubtful spin is marked as the table shows it, so that a file loaded again flies the
    // shot with the spin it was flown with, not with the doubtful one as if it were measured.
    const bool doubtful = table.SpinDoubtful(row);
    auto spin = [&](int column) { return std::string(cell(column)) + (doubtful ? "?" : ""); };
    const std::string_view units = cell(kUnitsColumn);
    const std::string_view when = base::Trim(cell(kWhenColumn));
    const std::string fields[] = {
        Quoted(cell(kUserColumn)),
        Quoted(cell(kSessionColumn)),
        Quoted(item),
        std::string(cell(kShotColumn)),
        std::string(cell(kBallSpeedColumn)),
        std::string(cell(kLaunchAngleColumn)),
        spin(kTotalSpinColumn),
        spin(kBackSpinColumn),
        spin(kSideSpinColumn),
        std::string(cell(kSideAngleColumn)),
        std::string(cell(kClubSpeedColumn)),
        std::string(cell(kCarryColumn)),
        std::string(cell(kOfflineColumn)),
        std::string(cell(kTotalColumn)),
        std::string(cell(kFlightTimeColumn)),
        std::string(cell(kMaxHeightColumn)),
        std::string(BeforeBlank(units)),
        std::string(AfterBlank(units)),
        std::string(BeforeBlank(when)),
        std::string(AfterBlank(when)),
        std::string(cell(kShotScoreColumn)),
        std::string(cell(kGroupScoreColumn)),
        std::string(cell(kAttackColumn)),
        std::string(cell(kPathAngleColumn)),
        std::string(cell(kFaceAngleColumn)),
        std::string(cell(kEffectiveLoftColumn)),
        std::string(cell(kClubMassColumn)),
        std::string(cell(kClubLoftColumn)),
    };
    std::string line;
    for (const std::string& field : fields) {
        line += field;
        line += ", ";
    }
    // A line break inside a name would split the shot over two lines.
    line = OnOneLine(line);
    line += '\n';
    return line;
}

std::string FormatSession(const ShotTable& table, std::string_view user, std::string_view session) {
    std::string text = "Kyvern Shot Data\nCreated: ";
    text += shot::FormatTimeStamp(table.Now());
    text += "\t\n\n";
    text += "User: " + OnOneLine(user) + "\n";
    text += "Session: " + OnOneLine(session) + "\n\n";
    text += kSessionHeaderLine;
    std::string item;
    for (int r = 1; r < table.RowCount(); ++r) {
        if (table.IsGroupRow(r)) {
            item = table.Cell(r, kItemColumn);
        } else {
            text += FormatShotLine(table, r, item);
        }
    }
    return text;
}

base::Status SaveSession(ShotTable& table, const std::string& path, std::string_view user,
                         std::string_view session) {
    if (path.empty() ||
        !base::ReplaceFileAtomically(path, WithCrLf(FormatSession(table, user, session)))) {
        return base::Status::Failure(
            std::string(base::Text(base::MessageId::kCouldNotCreateDataFile)));
    }
    table.ClearUnsaved();
    return {};
}

base::Status SaveSessionAs(ShotTable& table, const std::string& path, std::string_view user,
                           std::string_view session) {
    table.SettingsFile().Write(base::setting::kMostRecentSession, path);
    return SaveSession(table, path, user, session);
}

LoadReport LoadSessionText(ShotTable& table, std::string_view text) {
    LoadReport report;
    report.opened = true;
    const std::vector<std::string_view> lines = Lines(text);
    std::size_t i = 0;
    // The title's name lines are never the header, whatever the names hold.
    auto isTitle = [](std::string_view line) {
        return line.starts_with("User: ") || line.starts_with("Session: ");
    };
    while (i < lines.size() && (isTitle(lines[i]) || !(lines[i].size() >= kShortestLine &&
                                                       HasWordAfterSecond(lines[i], "ShotNum")))) {
        ++i;
    }
    if (i == lines.size()) return report;
    report.headerFound = true;
    const bool earlier = !HasWordAfterSecond(lines[i], "Angle of Attack");
    report.earlierLayout = earlier;

    table.BeginBulkAdd();
    for (++i; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        if (IsBlankLine(line)) continue;
        if (HasWordAfterSecond(line, "ShotNum")) continue;  // another file's header
        ParsedLine p;
        if (line.size() < kShortestLine || !ParseLine(line, earlier, p)) {
            ++report.skipped;
            continue;
        }
        ApplyUnits(table, p, earlier);
        p.shot.ballSpeed = ToFeetPerSecond(p.displayBallSpeed, table.SpeedUnit());
        p.shot.clubSpeed = ToFeetPerSecond(p.displayClubSpeed, table.SpeedUnit());
        // A ball speed of 0 or 1 marks no shot, whatever the unit.
        if (!(p.shot.ballSpeed > 1.0) || !(p.displayBallSpeed > 1.0) || !AllFinite(p.shot)) {
            ++report.skipped;
            continue;
        }
        p.shot.rolled = RolledPutt(p.shot.totalSpin, p.shot.backSpin, p.shot.sideSpin, p.carry,
                                   p.offline, p.total, p.flightTime, table.DistanceUnit());
        table.AddShot(p.shot, false, true);  // not logged: nothing to fail
        ++report.loaded;
    }
    table.EndBulkAdd();
    return report;
}

base::Status LoadSession(ShotTable& table, const std::string& path, LoadReport& report) {
    report = LoadReport{};
    std::string text;
    const base::ReadRefusal refusal = base::ReadRegularFile(path, kMaxSessionFileBytes, text);
    if (refusal != base::ReadRefusal::kNone) {
        // The description's text first, then which file and why.
        return base::Status::Failure(std::string(base::Text(base::MessageId::kCannotOpenFile)) +
                                     " (" + path + ": " +
                                     base::RefusalText(refusal, kMaxSessionFileBytes) + ")");
    }
    report = LoadSessionText(table, text);
    return {};
}

base::Status LoadSession(ShotTable& table, const std::string& path) {
    LoadReport report;
    return LoadSession(table, path, report);
}

}  // namespace kyvern::data
