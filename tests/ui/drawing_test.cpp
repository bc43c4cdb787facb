#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <cmath>

#include "data/shot_table.h"
#include "flight/flight_model.h"
#include "report/downrange_drawing.h"
#include "report/green_drawing.h"
#include "report/impact_drawing.h"
#include "report/profile_drawing.h"
#include "session_rig.h"
#include "shot/units.h"
#include "ui/drawing_views.h"

namespace kyvern::ui {
namespace {

using testing::Close;
using testing::ColourNear;
using testing::CountColour;
using testing::SavedSession;

QImage Render(const std::function<void(QPainter&, const QRectF&)>& draw, int w = 900, int h = 600) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    draw(painter, QRectF(0, 0, w, h));
    return image;
}

// The current shot's flight lies where its trajectory says, the plotted item in its Plot colour
// beside it, and nothing of any flight below the ground line.
TEST(ProfileDrawing, TrajectoriesWhereTheFlightSaysAndNothingBelowGround) {
    SavedSession s;
    s.table.SetCell(s.GroupRow("Driver"), data::kPlotColumn, "Blue (1)");
    const report::SessionPicture picture =
        report::CollectSession(s.table, base::SettingsSnapshot::Read());
    ASSERT_EQ(picture.shots.size(), 30u);
    const QImage image =
        Render([&](QPainter& p, const QRectF& r) { report::DrawProfile(p, r, picture); });
    const report::ProfileFrame frame = report::ProfileLayout(QRectF(0, 0, 900, 600), picture);

    const report::SessionShot& current = *picture.Current();
    EXPECT_EQ(picture.items[current.itemIndex], "Wedge");
    const flight::FlightResult& f = *current.flight;
    for (int i = 1; i < report::LandingIndex(f); ++i) {
        const QPointF p = frame.Map(f.pointX[i], f.pointHeight[i]);
        ASSERT_TRUE(frame.plot.contains(p)) << i;
        EXPECT_TRUE(ColourNear(image, p, report::kCurrentShotColour)) << i;
    }
    const QColor blue = report::PlotColour(2);
    int driversChecked = 0;
    for (const report::SessionShot& shot : picture.shots) {
        if (picture.items[shot.itemIndex] != "Driver") continue;
        ASSERT_TRUE(shot.flight);
        ++driversChecked;
        // Beyond the wedge's reach only the drives are drawn.
        for (int i = 1; i < report::LandingIndex(*shot.flight); ++i) {
            if (shot.flight->pointX[i] < 3 * 130.0) continue;
            EXPECT_TRUE(ColourNear(
                image, frame.Map(shot.flight->pointX[i], shot.flight->pointHeight[i]), blue));
        }
    }
    EXPECT_EQ(driversChecked, 10);

    const QRect below(static_cast<int>(frame.plot.left()), static_cast<int>(frame.GroundY()) + 4,
                      static_cast<int>(frame.plot.width()), 600);
    EXPECT_EQ(CountColour(image, below, report::kCurrentShotColour), 0);
    EXPECT_EQ(CountColour(image, below, blue), 0);
}

// Every carry point in its item's colour, the current one in the highlight, target lines every
// 50 yards: the same session shown in metres puts them every 50 metres.
TEST(DownRangeDrawing, LandingPointsCurrentHighlightAndTargetLines) {
    SavedSession s;
    for (const char* unit : {"Yards", "Meters"}) {
        s.home.Set("Setup", "DistanceDisplay", unit);
        const report::SessionPicture picture =
            report::CollectSession(s.table, base::SettingsSnapshot::Read());
        const QImage image =
            Render([&](QPainter& p, const QRectF& r) { report::DrawDownRange(p, r, picture); });
        const report::DownRangeFrame frame =
            report::DownRangeLayout(QRectF(0, 0, 900, 600), picture);
        const QPointF current = frame.Map(report::CarryPoint(*picture.Current()).x(),
                                          report::CarryPoint(*picture.Current()).y());
        EXPECT_TRUE(ColourNear(image, current, report::kCurrentShotColour, 1, 20)) << unit;
        for (const report::SessionShot& shot : picture.shots) {
            const QPointF p = frame.Map(report::CarryPoint(shot).x(), report::CarryPoint(shot).y());
            if (shot.current || std::hypot(p.x() - current.x(), p.y() - current.y()) < 30) continue;
            EXPECT_TRUE(ColourNear(image, p, report::ItemColour(shot.itemIndex), 1)) << shot.row;
        }
        // A target line crosses the rough at 50 display units, none at 75.
        const double yards50 = std::string(unit) == "Meters" ? 50 / 0.9144 : 50.0;
        const QPointF line = frame.Map(yards50, 0.0);
        const QPointF between = frame.Map(yards50 * 1.5, 0.0);
        EXPECT_TRUE(ColourNear(image, QPointF(frame.plot.left() + 3, line.y()), Qt::white, 1, 30))
            << unit;
        EXPECT_FALSE(
            ColourNear(image, QPointF(frame.plot.left() + 3, between.y()), Qt::white, 1, 30))
            << unit;
    }
}

// Putts rest on their green where their roll ended, and the fairway pictures leave them out.
// Uphill, the side view's roll climbs.
TEST(GreenDrawing, PuttsOnTheirGreenAndApartFromTheFairway) {
    SavedSession s;
    for (double feet : {8.0, 14.0, 21.0}) {
        data::ShotEntry putt;
        putt.ballSpeed = 4.0 + feet / 4, putt.sideAngle = 1.5, putt.item = "Putter";
        flight::FlightSummary roll;
        roll.total = roll.roll = feet / 3.0;
        roll.carryOffline = roll.totalOffline = 0.4 / 3.0;
        roll.flightTime = 1.5 + feet / 10;
        putt.rolled = roll;
        ASSERT_TRUE(s.table.AddShot(putt, true, true));
    }
    auto collect = [&] { return report::CollectSession(s.table, base::SettingsSnapshot::Read()); };
    const report::SessionPicture picture = collect();
    ASSERT_TRUE(report::CurrentIsPutt(picture));
    report::SessionPicture spare;
    const report::SessionPicture& full = report::FullShotsOf(picture, spare);
    EXPECT_EQ(full.shots.size(), 30u);
    EXPECT_EQ(full.Current(), nullptr);
    const report::SessionPicture putts = report::PuttsOf(picture, spare);
    ASSERT_EQ(putts.shots.size(), 3u);
    ASSERT_NE(putts.Current(), nullptr);

    const QImage top =
        Render([&](QPainter& p, const QRectF& r) { report::DrawTopView(p, r, picture); });
    const report::GreenFrame frame = report::GreenLayout(QRectF(0, 0, 900, 600), putts);
    for (const report::SessionShot& putt : putts.shots) {
        const QPointF rest = report::TotalPoint(putt) * 3.0;
        const QPointF at = frame.Map(rest.x(), rest.y());
        ASSERT_TRUE(frame.plot.contains(at));
        EXPECT_TRUE(ColourNear(top, at, Qt::white, 1, 30)) << putt.row;
        EXPECT_EQ(ColourNear(top, at, report::kCurrentShotColour, 9), putt.current) << putt.row;
    }
    // A putting surface, not a fairway, between the distance lines.
    const QPointF surface = frame.Map(2.5, -1.5);
    EXPECT_TRUE(ColourNear(top, surface, QColor(146, 200, 120), 1, 30) ||
                ColourNear(top, surface, QColor(136, 192, 110), 1, 30));

    // The height of the drawn roll at a tenth and at six tenths of the plot's width.
    auto climb = [&] {
        const QImage side =
            Render([&](QPainter& p, const QRectF& r) { report::DrawSideView(p, r, collect()); });
        auto rollY = [&](int x) {
            double sum = 0.0;
            int count = 0;
            for (int y = 0; y < side.height(); ++y) {
                if (Close(side.pixelColor(x, y), report::kCurrentShotColour, 60)) sum += y, ++count;
            }
            EXPECT_GT(count, 0) << x;
            return count ? sum / count : 0.0;
        };
        return rollY(72 + 80) - rollY(72 + 480);
    };
    EXPECT_NEAR(climb(), 0.0, 1.5);
    s.home.Set("Putting", "SlopePercent", "3");
    s.home.Set("Putting", "SlopeDirection", "180");  // falls towards the player
    EXPECT_GT(climb(), 50.0);
}

// From above, an open face turns the face line clockwise (its right end away from the target),
// a closed one anticlockwise.
TEST(ImpactDrawing, FaceLineTurnsWithTheFaceAngle) {
    testing::TempHome home;
    for (double face : {8.0, -8.0}) {
        shot::ShotRecord shot;
        shot.launch.Set(200.0, 12.0, face / 2, 3000, 3000, 0);
        shot.club.faceAngle.Set(face);
        shot.club.pathAngle.Set(0.0);
        shot.club.effectiveLoft.Set(12.0);
        shot.club.angleOfAttack.Set(0.0);
        shot.club.clubSpeed.Set(140.0);
        const QImage image = Render([&](QPainter& p, const QRectF& r) {
            report::DrawImpact(p, r, &shot, report::ImpactOptions{0, false, false});
        });
        // The red of the face in the left picture, above the angle labels: its outermost
        // pixels are the ends of the face line.
        QPoint leftEnd(10000, 0);
        QPoint rightEnd(-1, 0);
        for (int y = 0; y < 450; ++y) {
            for (int x = 0; x < 450; ++x) {
                if (!testing::Close(image.pixelColor(x, y), QColor(215, 30, 30), 40)) continue;
                if (x < leftEnd.x()) leftEnd = QPoint(x, y);
                if (x > rightEnd.x()) rightEnd = QPoint(x, y);
            }
        }
        ASSERT_GT(rightEnd.x() - leftEnd.x(), 50);
        EXPECT_EQ(rightEnd.y() > leftEnd.y() + 5, face > 0) << face;
        EXPECT_EQ(leftEnd.y() > rightEnd.y() + 5, face < 0) << face;
    }
}

// The drawings take the distances the table recorded from the unrounded launch, and fly a drawn
// trajectory again in the air the shot was recorded in: the Down Range label of the offline and
// the panel agree even where the rounded cells would predict another tenth, and a change of the
// table's air moves only the shots recorded after it.
TEST(CollectSession, TakesTheTablesOwnUnroundedFlight) {
    flight::FlightOptions sea;
    data::ShotTable table(sea, kyvern::base::Settings());
    data::ShotEntry entry;
    entry.ballSpeed = 203.4567;
    entry.launchAngle = 14.349;
    entry.backSpin = 3456.4;
    entry.totalSpin = 3520.0;
    entry.sideSpin = -654.6;
    entry.sideAngle = 1.2549;
    entry.item = "7 Iron";
    ASSERT_TRUE(table.AddShot(entry, false, true));
    flight::FlightOptions high = sea;
    high.weather.altitude = 6000.0;
    table.SetFlightOptions(high);
    ASSERT_TRUE(table.AddShot(entry, false, true));

    const report::SessionPicture picture =
        report::CollectSession(table, base::SettingsSnapshot::Read(), true);
    ASSERT_EQ(picture.shots.size(), 2u);
    for (int k = 0; k < 2; ++k) {
        flight::FlightModel model(k == 0 ? sea : high);
        model.Compute(entry.ballSpeed, entry.launchAngle, entry.backSpin, entry.sideSpin,
                      entry.sideAngle);
        const report::SessionShot& shot = picture.shots[std::size_t(k)];
        EXPECT_EQ(shot.totalOffline, model.TotalOffline()) << k;
        EXPECT_EQ(shot.carry, model.Carry()) << k;
        EXPECT_EQ(shot.total, table.Values(shot.row)->flight.total) << k;
        ASSERT_TRUE(shot.flight);
        EXPECT_EQ(shot.flight->pointCount, model.PointCount()) << k;
        EXPECT_EQ(shot.flight->pointX[std::size_t(model.PointCount() - 1)],
                  model.Result().pointX[std::size_t(model.PointCount() - 1)])
            << k;
    }
    EXPECT_GT(picture.shots[1].carry, picture.shots[0].carry);  // the thinner air of the second
}

// A view follows its table (the last shot deleted redraws it without its current shot) and,
// told to refresh, the settings: after a change of the units it draws what a new view draws. A
// change of the weather moves no shot already recorded: each keeps the air it was flown in, as
// its row in the table does.
TEST(DrawingViews, FollowTheTableAndTheSettings) {
    SavedSession s;
    const auto show = [&](DrawingView& view) {
        view.resize(600, 400);
        view.SetTable(&s.table);
    };
    ProfileView profile;
    show(profile);
    const QImage before = profile.grab().toImage();
    s.table.DeleteLastShot();
    EXPECT_NE(profile.grab().toImage(), before);
    profile.SetTable(nullptr);

    DownRangeView kept;
    show(kept);
    const QImage yards = kept.grab().toImage();
    s.home.Set("Weather", "Altitude", "6000");
    kept.Refresh();
    EXPECT_EQ(kept.grab().toImage(), yards);
    s.home.Set("Setup", "DistanceDisplay", "Meters");
    kept.Refresh();
    DownRangeView fresh;  // made after the change, as a new view is
    show(fresh);
    const QImage meters = fresh.grab().toImage();
    EXPECT_NE(meters, yards);
    EXPECT_EQ(kept.grab().toImage(), meters);
}

}  // namespace
}  // namespace kyvern::ui
