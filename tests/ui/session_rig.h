#pragma once

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QPointF>
#include <QRect>
#include <cstdlib>

#include "data/session_file.h"
#include "data/shot_table.h"
#include "support/recording_prompts.h"
#include "support/temp_home.h"

namespace kyvern::testing {

inline const char* kThreeItemsSession = KYVERN_UI_TEST_DATA "/three_items_session.txt";

// The saved session of 30 shots in three items (Driver, 7 Iron, Wedge; the last wedge current),
// loaded as "Load Session" loads it, in a program folder of its own.
struct SavedSession {
    SavedSession()
        : table(flight::ReadFlightOptions(base::SettingsSnapshot::Read()), base::Settings()) {
        table.SetupTable();
        table.ReadDisplayUnits(base::SettingsSnapshot::Read());
        EXPECT_TRUE(data::LoadSession(table, kThreeItemsSession));
    }
    int GroupRow(const char* item) const {
        for (int row = 1; row < table.RowCount(); ++row) {
            if (table.IsGroupRow(row) && table.Cell(row, data::kItemColumn) == item) return row;
        }
        return -1;
    }
    TempHome home;
    RecordingPrompts prompts;
    data::ShotTable table;
};

inline bool Close(QColor a, QColor b, int tolerance) {
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
               std::abs(a.blue() - b.blue()) <=
           tolerance;
}

inline int CountColour(const QImage& image, const QRect& region, QColor colour,
                       int tolerance = 60) {
    int count = 0;
    for (int y = region.top(); y <= region.bottom(); ++y) {
        for (int x = region.left(); x <= region.right(); ++x) {
            if (image.valid(x, y) && Close(image.pixelColor(x, y), colour, tolerance)) ++count;
        }
    }
    return count;
}

// A pixel of the colour within radius of the point.
inline bool ColourNear(const QImage& image, QPointF at, QColor colour, int radius = 3,
                       int tolerance = 60) {
    const QRect square(int(at.x()) - radius, int(at.y()) - radius, 2 * radius + 1, 2 * radius + 1);
    return CountColour(image, square, colour, tolerance) > 0;
}

}  // namespace kyvern::testing
