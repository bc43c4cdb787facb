#include "app/live_page_publisher.h"

#include <chrono>
#include <cstdio>

#include "shot/text_formats.h"
#include "shot/units.h"

namespace kyvern::app {
namespace {

// The table's columns a glance at the page wants; the rest stay on the laptop.
// The item stands on its group's row only, which the page does not list.
constexpr int kShownColumns[] = {
    data::kShotColumn,      data::kBallSpeedColumn, data::kLaunchAngleColumn, data::kBackSpinColumn,
    data::kSideAngleColumn, data::kCarryColumn,     data::kOfflineColumn,     data::kTotalColumn};
constexpr int kShownRows = 50;

}  // namespace

links::LiveShot LivePagePublisher::LiveShotOf(const PublishedShot& published,
                                              const data::ShotTable& table) {
    const shot::ShotRecord& shot = published.shot;
    const PassOptions& pass = published.pass;
    links::LiveShot live;
    live.recordedMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::system_clock::now().time_since_epoch())
                          .count();
    live.title = shot.user + " \u2014 " + shot.item;
    live.putt = shot.launch.putt;
    const char* speed = shot::SpeedLabel(pass.speedUnit);
    // A green is read in feet (metres), a fairway in the display unit.
    const int unit = !live.putt                           ? pass.distanceUnit
                     : pass.distanceUnit == shot::kMeters ? shot::kMeters
                                                          : shot::kFeet;
    const char* distance = shot::DistanceLabel(unit);
    auto d = [&](double yards) { return shot::ToDisplayDistance(yards, unit); };
    live.figures.push_back(
        {"Ball Speed",
         shot::FormatValue(shot::ToDisplaySpeed(shot.launch.ballSpeed, pass.speedUnit)), speed});
    live.figures.push_back({"Launch", shot::FormatValue(shot.launch.launchAngle), "\u00b0"});
    if (live.putt) {
        live.figures.push_back(
            {"Start Line", shot::FormatOffline(shot.launch.sideAngle), "\u00b0"});
        live.figures.push_back({"Roll", shot::FormatValue(d(shot.flight.roll)), distance});
        live.figures.push_back({"Total", shot::FormatValue(d(shot.flight.total)), distance});
    } else {
        live.figures.push_back({"Spin",
                                shot.launch.spinDoubtful
                                    ? shot::kNoSpinFigure
                                    : shot::FormatViewSpin(shot.launch.totalSpin),
                                "rpm"});
        live.figures.push_back({"Carry", shot::FormatValue(d(shot.flight.carry)), distance});
        live.figures.push_back({"Total", shot::FormatValue(d(shot.flight.total)), distance});
    }
    // A full shot's offline is where it lands, as the table has it; a putt's where it rests.
    const double offline = live.putt ? shot.flight.totalOffline : shot.flight.carryOffline;
    live.figures.push_back({"Offline", shot::FormatOffline(d(offline)), distance});
    for (int column : kShownColumns)
        live.header.push_back(table.Cell(0, column));
    int first = table.RowCount();
    for (int shots = 0; first > 1 && shots < kShownRows;) {
        --first;
        if (!table.IsGroupRow(first)) ++shots;
    }
    for (int row = first; row < table.RowCount(); ++row) {
        if (table.IsGroupRow(row)) continue;
        std::vector<std::string> cells;
        for (int column : kShownColumns)
            cells.push_back(table.Cell(row, column));
        live.rows.push_back(std::move(cells));
    }
    if (table.CurrentRow() >= 1)
        live.title += ", shot " + table.Cell(table.CurrentRow(), data::kShotColumn);
    return live;
}

void LivePagePublisher::ShotFinished(const PublishedShot& shot) {
    links::LiveShot live = LiveShotOf(shot, table_);
    // The picture is the costly part of a shot's page, drawn from the whole session: only for
    // a page open to see it. One opened later has it with the next shot.
    if (picture_ && page_.Subscribers() > 0) live.picture = picture_();
    page_.Publish(std::move(live));
}

}  // namespace kyvern::app
