#pragma once

#include <algorithm>
#include <ctime>
#include <initializer_list>
#include <string>

#include "data/shot_table.h"
#include "support/recording_prompts.h"
#include "support/temp_home.h"

namespace kyvern::testing {

// A plain drive: ball 220 ft/s, 12 degrees, 2800 rpm back spin.
inline data::ShotEntry Drive(const std::string& item, double ballSpeed = 220.0) {
    data::ShotEntry s;
    s.ballSpeed = ballSpeed, s.launchAngle = 12.0, s.totalSpin = 2830.0, s.backSpin = 2800.0;
    s.sideSpin = -400.0, s.sideAngle = 1.5, s.clubSpeed = 150.0, s.item = item;
    s.user = "Ann", s.session = "Morning", s.timeText = "05/Mar/2024 14:22:05";
    s.attackAngle = -1.2, s.pathAngle = 2.3, s.faceAngle = 0.4, s.effectiveLoft = 13.5;
    s.score = 87.26, s.clubMass = 200.0, s.clubLoft = 10.5;
    return s;
}

// The cells of a row joined with '|', the columns in mask shown as '*'.
inline std::string Row(const data::ShotTable& t, int r, std::initializer_list<int> mask = {}) {
    std::string out;
    for (int c = 0; c < data::kColumnCount; ++c) {
        if (c) out += '|';
        out += std::find(mask.begin(), mask.end(), c) == mask.end() ? t.Cell(r, c) : "*";
    }
    return out;
}

// Group rows as "[item count]", shot rows as their number, separated by blanks.
inline std::string Layout(const data::ShotTable& t) {
    std::string out;
    for (int r = 1; r < t.RowCount(); ++r) {
        out += (r > 1 ? " " : "") +
               (t.IsGroupRow(r) ? "[" + t.Cell(r, 0) + " " + t.Cell(r, 27) + "]" : t.Cell(r, 1));
    }
    return out;
}

// Noon of 5 March 2024, local time.
inline std::time_t FixedNow() {
    std::tm t{};
    t.tm_year = 124, t.tm_mon = 2, t.tm_mday = 5, t.tm_hour = 12, t.tm_isdst = -1;
    return std::mktime(&t);
}

// A table as the main window sets it up, on a fixed clock, its questions answered with answerOk.
struct Rig {
    explicit Rig(bool answerOk = true)
        : prompts(answerOk),
          table(flight::ReadFlightOptions(base::SettingsSnapshot::Read()), base::Settings()) {
        table.SetupTable();
        table.ReadDisplayUnits(base::SettingsSnapshot::Read());
        table.SetClock(FixedNow);
    }
    void Add(std::initializer_list<const char*> items) {
        for (const char* item : items)
            table.AddShot(Drive(item), false, true);
    }
    RecordingPrompts prompts;
    data::ShotTable table;
};

}  // namespace kyvern::testing
