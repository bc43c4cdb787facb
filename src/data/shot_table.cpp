#include "data/shot_table.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <thread>

#include "base/config_store.h"
#include "base/settings_schema.h"
#include "base/string_table.h"
#include "data/session_file.h"
#include "data/shot_log.h"
#include "data/text_format.h"
#include "shot/performance_analysis.h"
#include "shot/text_formats.h"
#include "shot/units.h"

namespace kyvern::data {

namespace {

constexpr const base::SettingSpec* Width(base::SettingId id) { return &base::Spec(id); }
constexpr std::array<const base::SettingSpec*, kColumnCount> kWidthKeys{
    Width(base::setting::kItemWidth),        Width(base::setting::kShotWidth),
    Width(base::setting::kPlotWidth),        Width(base::setting::kGroupScoreWidth),
    Width(base::setting::kScoreWidth),       Width(base::setting::kBallSpeedWidth),
    Width(base::setting::kLaunchAngleWidth), Width(base::setting::kTotalSpinWidth),
    Width(base::setting::kBackSpinWidth),    Width(base::setting::kSideSpinWidth),
    Width(base::setting::kSideAngleWidth),   Width(base::setting::kClubSpeedWidth),
    Width(base::setting::kDrCarryWidth),     Width(base::setting::kOlCarryWidth),
    Width(base::setting::kFlightTimeWidth),  Width(base::setting::kTotalWidth),
    Width(base::setting::kMaxAltWidth),      Width(base::setting::kSessionWidth),
    Width(base::setting::kUserWidth),        Width(base::setting::kUnitsWidth),
    Width(base::setting::kTimeWidth),        Width(base::setting::kAttackWidth),
    Width(base::setting::kPathAngleWidth),   Width(base::setting::kFaceAngleWidth),
    Width(base::setting::kEffLoftWidth),     Width(base::setting::kClubMassWidth),
    Width(base::setting::kClubLoftWidth),    nullptr};

constexpr std::array<const char*, 6> kPlotColours{"None",  "Blue",   "Red",
                                                  "Green", "Yellow", "Black"};
constexpr std::array<const char*, 3> kDistanceWords{"Yards", "Feet", "Meters"};

// Columns that get a mean and deviation in the group row.
constexpr std::array<int, 18> kStatisticColumns{1,  4,  5,  6,  7,  8,  9,  10, 11,
                                                12, 13, 14, 15, 16, 21, 22, 23, 24};

// The display units a units text names ("Yards MPH"); false, and both left as they were, when
// it names none.
bool UnitsOf(std::string_view text, int& distance, int& speed) {
    const std::size_t blank = text.find(' ');
    if (blank == std::string_view::npos) return false;
    int d = -1;
    int s = -1;
    for (std::size_t i = 0; i < kDistanceWords.size(); ++i) {
        if (base::EqualsNoCase(text.substr(0, blank), kDistanceWords[i])) d = static_cast<int>(i);
    }
    for (int i = shot::kMph; i <= shot::kMps; ++i) {
        if (base::EqualsNoCase(text.substr(blank + 1), shot::SpeedLabel(i))) s = i;
    }
    if (d < 0 || s < 0) return false;
    distance = d;
    speed = s;
    return true;
}

// The row that opens a new item's group, and the first shot row under it. Whole strings are
// moved into the cells: GCC 12 at -O3 takes "1" copied into a fresh cell for an overlapping
// copy (-Wrestrict).
template <typename Row>
std::unique_ptr<Row> NewGroupRow(std::string_view item, const char* plotColour) {
    auto row = std::make_unique<Row>();
    row->group = true;
    row->cells[kItemColumn] = item;
    row->cells[kPlotColumn] = plotColour;
    row->cells[kGroupCountColumn] = std::string("1");
    return row;
}

// The group's count one higher (held at its limit); the new shot's number.
template <typename Row>
const std::string& CountShot(Row& group) {
    long count = ReadLong(group.cells[kGroupCountColumn]);
    if (count < LONG_MAX) ++count;
    group.cells[kGroupCountColumn] = Printf("%ld", count);
    return group.cells[kGroupCountColumn];
}

base::MessageId HeaderId(int column) {
    return static_cast<base::MessageId>(static_cast<int>(base::MessageId::kColumnItem) + column);
}

std::string Value(double v) { return Fixed(v, 1); }
std::string Spin(double rpm) { return Fixed(rpm, 0); }
std::string Score(double score) {
    return Fixed(score, score < 10.0 ? 2 : 1);
}

const std::string kEmpty;

// A statistic column's value of a recorded shot in the given display units; false for a column
// the values do not hold (the shot number).
bool RecordedValue(const ShotValues& v, int column, int distance, int speed, double& value) {
    const ShotEntry& e = v.entry;
    switch (column) {
        case kShotScoreColumn:
            value = e.score;
            return true;
        case kBallSpeedColumn:
            value = shot::ToDisplaySpeed(e.ballSpeed, speed);
            return true;
        case kLaunchAngleColumn:
            value = e.launchAngle;
            return true;
        case kTotalSpinColumn:
            value = e.totalSpin;
            return true;
        case kBackSpinColumn:
            value = e.backSpin;
            return true;
        case kSideSpinColumn:
            value = e.sideSpin;
            return true;
        case kSideAngleColumn:
            value = e.sideAngle;
            return true;
        case kClubSpeedColumn:
            value = shot::ToDisplaySpeed(e.clubSpeed, speed);
            return true;
        case kCarryColumn:
            value = shot::ToDisplayDistance(v.flight.carry, distance);
            return true;
        case kOfflineColumn:
            value = shot::ToDisplayDistance(v.flight.carryOffline, distance);
            return true;
        case kFlightTimeColumn:
            value = v.flight.flightTime;
            return true;
        case kTotalColumn:
            value = shot::ToDisplayDistance(v.flight.total, distance);
            return true;
        case kMaxHeightColumn:
            value = shot::ToDisplayDistance(v.flight.maxHeight, distance);
            return true;
        case kAttackColumn:
            value = e.attackAngle;
            return true;
        case kPathAngleColumn:
            value = e.pathAngle;
            return true;
        case kFaceAngleColumn:
            value = e.faceAngle;
            return true;
        case kEffectiveLoftColumn:
            value = e.effectiveLoft;
            return true;
        default:
            return false;
    }
}

}  // namespace

ShotTable::ShotTable(const flight::FlightOptions& flight, base::Settings settings)
    : settings_(std::move(settings)), flight_(flight) {
    widths_.fill(kDefaultColumnWidth);
    auto header = std::make_unique<Row>();
    for (int c = 0; c < kColumnCount; ++c)
        header->cells[c] = std::string(base::Text(HeaderId(c)));
    rows_.push_back(std::move(header));
}

ShotTable::~ShotTable() = default;

const std::string& ShotTable::Cell(int row, int column) const {
    if (!ValidRow(row) || column < 0 || column >= kColumnCount) return kEmpty;
    return rows_[row]->cells[column];
}

void ShotTable::WriteCells(Row& row, int distanceUnit, int speedUnit) {
    const ShotEntry& shot = row.values->entry;
    std::array<std::string, kColumnCount>& cells = row.cells;
    const int s = speedUnit;
    cells[kItemColumn].clear();
    cells[kShotScoreColumn] = Score(shot.score);
    cells[kBallSpeedColumn] = Value(shot::ToDisplaySpeed(shot.ballSpeed, s));
    cells[kLaunchAngleColumn] = Value(shot.launchAngle);
    cells[kTotalSpinColumn] = Spin(shot.totalSpin);
    cells[kBackSpinColumn] = Spin(shot.backSpin);
    cells[kSideSpinColumn] = Spin(shot.sideSpin);
    cells[kSideAngleColumn] = Value(shot.sideAngle);
    cells[kClubSpeedColumn] = Value(shot::ToDisplaySpeed(shot.clubSpeed, s));
    cells[kAttackColumn] = Value(shot.attackAngle);
    cells[kPathAngleColumn] = Value(shot.pathAngle);
    cells[kFaceAngleColumn] = Value(shot.faceAngle);
    cells[kEffectiveLoftColumn] = Value(shot.effectiveLoft);
    cells[kClubMassColumn] = Value(shot.clubMass);
    cells[kClubLoftColumn] = Value(shot.clubLoft);
    cells[kUnitsColumn] = std::string(DistanceWord(distanceUnit)) + " " + shot::SpeedLabel(s);
    cells[kUserColumn] = shot.user;
    cells[kSessionColumn] = shot.session;
}

std::optional<flight::FlightSummary> RolledPutt(double totalSpin, double backSpin, double sideSpin,
                                                double carry, double offline, double total,
                                                double flightTime, int distanceUnit) {
    if (totalSpin != 0.0 || backSpin != 0.0 || sideSpin != 0.0 || carry != 0.0 || !(total > 0.0))
        return std::nullopt;
    flight::FlightSummary roll;
    roll.total = roll.roll = shot::FromDisplayDistance(total, distanceUnit);
    roll.carryOffline = roll.totalOffline = shot::FromDisplayDistance(offline, distanceUnit);
    roll.flightTime = flightTime;
    return roll;
}

void ShotTable::Fly(flight::FlightModel& model, Row& row, int distanceUnit) {
    const ShotEntry& e = row.values->entry;
    if (e.rolled) {
        Flown(row, *e.rolled, distanceUnit);
        return;
    }
    const shot::TrustedSpins spins = FlownSpins(e);
    model.Compute(e.ballSpeed, e.launchAngle, spins.back, spins.side, e.sideAngle);
    Flown(row, model.Result(), distanceUnit);
}

void ShotTable::Flown(Row& row, const flight::FlightSummary& flight, int distanceUnit) {
    const flight::FlightSummary& f = row.values->flight = flight;
    std::array<std::string, kColumnCount>& cells = row.cells;
    const int d = distanceUnit;
    cells[kCarryColumn] = Value(shot::ToDisplayDistance(f.carry, d));
    cells[kOfflineColumn] = Value(shot::ToDisplayDistance(f.carryOffline, d));
    cells[kFlightTimeColumn] = Value(f.flightTime);
    cells[kTotalColumn] = Value(shot::ToDisplayDistance(f.total, d));
    cells[kMaxHeightColumn] = Value(shot::ToDisplayDistance(f.maxHeight, d));
}

void ShotTable::FlyStagedRows() {
    const std::size_t count = unflown_.size();
    if (count == 0) return;
    // Each flight depends on its own shot only, so the two halves give the bits one pass gives.
    auto fly = [this](std::size_t first, std::size_t end) {
        flight::FlightModel model = bulkModel_ ? *bulkModel_ : flight::FlightModel(flight_);
        // In blocks, so that the model may fly several side by side.
        constexpr std::size_t kBlock = 64;
        flight::FlightLaunch launches[kBlock];
        flight::FlightSummary flights[kBlock];
        for (std::size_t block = first; block < end; block += kBlock) {
            const std::size_t n = std::min(kBlock, end - block);
            for (std::size_t i = 0; i < n; ++i) {
                const ShotEntry& e = unflown_[block + i].row->values->entry;
                const shot::TrustedSpins spins = FlownSpins(e);
                launches[i] = {e.ballSpeed, e.launchAngle, spins.back, spins.side, e.sideAngle};
            }
            model.Summaries(launches, static_cast<int>(n), flights);
            for (std::size_t i = 0; i < n; ++i) {
                const Unflown& u = unflown_[block + i];
                WriteCells(*u.row, u.distanceUnit, u.speedUnit);
                const ShotEntry& e = u.row->values->entry;
                Flown(*u.row, e.rolled ? *e.rolled : flights[i], u.distanceUnit);
            }
        }
    };
    constexpr std::size_t kWorthASecondThread = 256;
    if (count >= kWorthASecondThread && std::thread::hardware_concurrency() >= 2) {
        std::thread other(fly, std::size_t{0}, count / 2);
        fly(count / 2, count);
        other.join();
    } else {
        fly(0, count);
    }
    unflown_.clear();
}

const ShotValues* ShotTable::Values(int row) const {
    if (!ValidRow(row) || !rows_[row]->values) return nullptr;
    return &*rows_[row]->values;
}

bool ShotTable::SpinDoubtful(int row) const {
    const ShotValues* values = Values(row);
    return values && values->entry.spinDoubtful;
}

const ShotValues& ShotTable::ValuesOrCells(int row, const flight::FlightOptions& air,
                                           ShotValues& spare) const {
    if (const ShotValues* recorded = Values(row)) return *recorded;
    int distance = distanceUnit_;
    int speed = speedUnit_;
    UnitsOf(Cell(row, kUnitsColumn), distance, speed);
    auto number = [&](int column) { return ReadDouble(Cell(row, column)); };
    spare = ShotValues{};
    ShotEntry& e = spare.entry;
    e.ballSpeed = shot::ConvertSpeed(number(kBallSpeedColumn), speed, shot::kFps);
    e.launchAngle = number(kLaunchAngleColumn);
    e.sideAngle = number(kSideAngleColumn);
    e.totalSpin = number(kTotalSpinColumn);
    e.backSpin = number(kBackSpinColumn);
    e.sideSpin = number(kSideSpinColumn);
    e.clubSpeed = shot::ConvertSpeed(number(kClubSpeedColumn), speed, shot::kFps);
    e.attackAngle = number(kAttackColumn);
    e.pathAngle = number(kPathAngleColumn);
    e.faceAngle = number(kFaceAngleColumn);
    e.effectiveLoft = number(kEffectiveLoftColumn);
    e.clubMass = number(kClubMassColumn);
    e.clubLoft = number(kClubLoftColumn);
    e.score = number(kShotScoreColumn);
    spare.flown = air;
    e.rolled = RolledPutt(e.totalSpin, e.backSpin, e.sideSpin, number(kCarryColumn),
                          number(kOfflineColumn), number(kTotalColumn), number(kFlightTimeColumn),
                          distance);
    if (e.rolled) {
        spare.flight = *e.rolled;
        return spare;
    }
    flight::FlightModel model(air);
    const shot::TrustedSpins spins = FlownSpins(e);
    model.Compute(e.ballSpeed, e.launchAngle, spins.back, spins.side, e.sideAngle);
    spare.flight = model.Result();
    return spare;
}

void ShotTable::SetCell(int row, int column, std::string_view text) {
    if (!ValidRow(row) || column < 0 || column >= kColumnCount) return;
    rows_[row]->cells[column] = text;
    Notify([&](ShotTableListener& l) { l.CellsChanged(row, row); });
}

bool ShotTable::IsGroupRow(int row) const { return ValidRow(row) && rows_[row]->group; }

std::optional<Rgb> ShotTable::Background(int row) const {
    return ValidRow(row) ? rows_[row]->background : std::nullopt;
}

bool ShotTable::IsColumnHidden(int column) const { return column == kGroupCountColumn; }

int ShotTable::ColumnWidth(int column) const {
    return column >= 0 && column < kColumnCount ? widths_[column] : 0;
}

void ShotTable::SetColumnWidth(int column, int twips) {
    if (column < 0 || column >= kColumnCount) return;
    widths_[column] = twips;
    Notify([&](ShotTableListener& l) { l.ColumnWidthChanged(column); });
}

const char* ShotTable::WidthKey(int column) {
    return column >= 0 && column < kColumnCount && kWidthKeys[column] ? kWidthKeys[column]->key
                                                                      : nullptr;
}

std::string ShotTable::PlotColourList() {
    return Printf("%s (0)|%s (1)|%s (2)|%s (3)|%s (4)|%s (5)", kPlotColours[0], kPlotColours[1],
                  kPlotColours[2], kPlotColours[3], kPlotColours[4], kPlotColours[5]);
}

void ShotTable::Select(int row, bool selected) {
    if (!ValidRow(row) || row == 0 || rows_[row]->selected == selected) return;
    rows_[row]->selected = selected;
    Notify([](ShotTableListener& l) { l.SelectionChanged(); });
}

void ShotTable::SelectRange(int firstRow, int lastRow) {
    bool changed = false;
    for (int r = std::max(firstRow, 1); r <= lastRow && r < RowCount(); ++r) {
        changed = changed || !rows_[r]->selected;
        rows_[r]->selected = true;
    }
    if (changed) Notify([](ShotTableListener& l) { l.SelectionChanged(); });
}

void ShotTable::ClearSelection() {
    bool changed = false;
    for (auto& row : rows_) {
        changed = changed || row->selected;
        row->selected = false;
    }
    if (changed) Notify([](ShotTableListener& l) { l.SelectionChanged(); });
}

bool ShotTable::IsSelected(int row) const { return ValidRow(row) && rows_[row]->selected; }

void ShotTable::SetActiveRow(int row) {
    activeRow_ = row;
    Notify([&](ShotTableListener& l) { l.ActiveRowChanged(row); });
}

void ShotTable::SetDeleteLastShotEnabled(bool enabled) {
    deleteLastShotEnabled_ = enabled;
    Notify([&](ShotTableListener& l) { l.DeleteLastShotEnabledChanged(enabled); });
}

void ShotTable::SetDistanceUnit(int index) { distanceUnit_ = index >= 0 && index <= 2 ? index : 0; }

void ShotTable::SetSpeedUnit(int index) { speedUnit_ = index >= 0 && index <= 3 ? index : 0; }

void ShotTable::ReadDisplayUnits(const base::SettingsSnapshot& settings) {
    // An unknown word keeps the unit this table shows.
    SetDistanceUnit(shot::ReadDistanceUnit(settings, distanceUnit_));
    SetSpeedUnit(shot::ReadSpeedUnit(settings, speedUnit_));
}

const char* ShotTable::DistanceWord(int index) {
    return kDistanceWords[index >= 0 && index <= 2 ? static_cast<std::size_t>(index) : 0];
}

std::string ShotTable::UnitsLabel() const {
    return std::string(DistanceWord(distanceUnit_)) + " " + shot::SpeedLabel(speedUnit_);
}

void ShotTable::InsertRow(int at, std::unique_ptr<Row> row) {
    Notify([&](ShotTableListener& l) { l.RowsAboutToBeInserted(at, at); });
    rows_.insert(rows_.begin() + at, std::move(row));
    // The current and active rows follow their shot.
    if (currentRow_ >= at) ++currentRow_;
    if (activeRow_ >= at) ++activeRow_;
    Notify([&](ShotTableListener& l) { l.RowsInserted(at, at); });
}

void ShotTable::RemoveRow(int row) {
    Notify([&](ShotTableListener& l) { l.RowsAboutToBeRemoved(row, row); });
    rows_.erase(rows_.begin() + row);
    if (currentRow_ == row) {
        currentRow_ = -1;
    } else if (currentRow_ > row) {
        --currentRow_;
    }
    if (activeRow_ == row) {
        activeRow_ = -1;
    } else if (activeRow_ > row) {
        --activeRow_;
    }
    Notify([&](ShotTableListener& l) { l.RowsRemoved(row, row); });
}

void ShotTable::RemoveRowsFrom(int first) {
    const int last = RowCount() - 1;
    if (first > last) return;
    Notify([&](ShotTableListener& l) { l.RowsAboutToBeRemoved(first, last); });
    rows_.erase(rows_.begin() + first, rows_.end());
    if (currentRow_ >= first) currentRow_ = -1;
    if (activeRow_ >= first) activeRow_ = -1;
    Notify([&](ShotTableListener& l) { l.RowsRemoved(first, last); });
}

void ShotTable::SetupTable() {
    Notify([](ShotTableListener& l) { l.AboutToReset(); });
    rows_.erase(rows_.begin() + 1, rows_.end());
    for (int c = 0; c < kColumnCount; ++c)
        rows_[0]->cells[c] = std::string(base::Text(HeaderId(c)));
    currentRow_ = -1;
    activeRow_ = -1;
    unsaved_ = false;
    Notify([](ShotTableListener& l) { l.Reset(); });
    LoadColumnWidths();
}

base::Status ShotTable::AddShot(const ShotEntry& shot, bool useNow, bool newRow) {
    unsaved_ = true;
    // Only new rows that are not logged wait; anything else needs the table as it is.
    const bool stage = bulkDepth_ > 0 && newRow && !useNow;
    if (!stage) PlaceStagedRows();
    // A re-measure overwrites the row of the last shot.
    const bool overwrite =
        !newRow && ValidRow(currentRow_) && currentRow_ >= 1 && !rows_[currentRow_]->group;
    const int row = stage ? -1 : overwrite ? currentRow_ : FindOrInsertShotRow(shot.item);
    Row& target = stage ? StageShotRow(shot.item) : *rows_[row];

    target.cells[kWhenColumn] = useNow ? shot::FormatTimeStamp(Now()) : shot.timeText;

    // The distances are always this table's own prediction, with the ball and weather in force;
    // a staged row's flight waits for the others, to be flown with them on both processors.
    target.values = ShotValues{shot, bulkModel_ ? bulkFlight_ : flight_, {}};
    if (stage) {
        // Its cells are written with its flight.
        unflown_.push_back({&target, distanceUnit_, speedUnit_});
        // The current and active rows are set when the row takes its place.
        lastStaged_ = &target;
        ++bulkShots_;
        SetDeleteLastShotEnabled(true);
        return {};
    }
    WriteCells(target, distanceUnit_, speedUnit_);
    flight::FlightModel model = bulkModel_ ? *bulkModel_ : flight::FlightModel(flight_);
    Fly(model, target, distanceUnit_);
    Notify([&](ShotTableListener& l) { l.CellsChanged(row, row); });

    currentRow_ = row;
    if (bulkDepth_ == 0) UpdateGroups();
    SetActiveRow(currentRow_);
    SetDeleteLastShotEnabled(true);

    if (!useNow) return {};
    return AppendShotLog(FormatShotLine(*this, currentRow_, shot.item));
}

int ShotTable::FindOrInsertShotRow(std::string_view item) {
    // Only group rows name an item: the header row and the empty first cells of shot rows
    // must not be taken for a group called "Item" or "".
    int group = -1;
    for (int r = 1; r < RowCount(); ++r) {
        if (rows_[r]->group && base::EqualsNoCase(rows_[r]->cells[kItemColumn], item)) {
            group = r;
            break;
        }
    }
    if (group < 0) {
        const int at = RowCount();
        InsertRow(at, NewGroupRow<Row>(item, kPlotColours[0]));
        auto shotRow = std::make_unique<Row>();
        shotRow->cells[kShotColumn] = std::string("1");
        InsertRow(at + 1, std::move(shotRow));
        return at + 1;
    }

    const std::string number = CountShot(*rows_[group]);
    Notify([&](ShotTableListener& l) { l.CellsChanged(group, group); });
    int at = group + 1;
    while (at < RowCount() && !rows_[at]->group)
        ++at;
    auto shotRow = std::make_unique<Row>();
    shotRow->cells[kShotColumn] = number;
    InsertRow(at, std::move(shotRow));
    return at;
}

namespace {

std::string Folded(std::string_view item) {
    std::string key(item);
    for (char& c : key) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return key;
}

}  // namespace

ShotTable::Row& ShotTable::StageShotRow(std::string_view item) {
    if (staged_.empty()) {
        // The first group of an item wins, as in the search of FindOrInsertShotRow.
        stagedIndex_.clear();
        for (int r = 1; r < RowCount(); ++r) {
            if (!rows_[r]->group) continue;
            const auto [it, added] =
                stagedIndex_.try_emplace(Folded(rows_[r]->cells[kItemColumn]), staged_.size());
            if (added) staged_.push_back(StagedGroup{r, nullptr, {}});
        }
    }
    const auto [it, added] = stagedIndex_.try_emplace(Folded(item), staged_.size());
    auto shotRow = std::make_unique<Row>();
    if (added) {
        staged_.push_back(StagedGroup{-1, NewGroupRow<Row>(item, kPlotColours[0]), {}});
        shotRow->cells[kShotColumn] = std::string("1");
    } else {
        StagedGroup& group = staged_[it->second];
        shotRow->cells[kShotColumn] =
            CountShot(group.row >= 0 ? *rows_[group.row] : *group.newGroup);
    }
    std::vector<std::unique_ptr<Row>>& shots = staged_[it->second].shots;
    shots.push_back(std::move(shotRow));
    return *shots.back();
}

void ShotTable::PlaceStagedRows() {
    FlyStagedRows();
    if (staged_.empty()) return;
    const Row* current = ValidRow(currentRow_) ? rows_[currentRow_].get() : nullptr;
    const Row* active = ValidRow(activeRow_) ? rows_[activeRow_].get() : nullptr;
    if (lastStaged_) current = active = lastStaged_;
    // An existing group's new shots go after its last shot row; new groups follow in the order
    // they came.
    std::vector<int> stagedAt(rows_.size(), -1);
    for (std::size_t g = 0; g < staged_.size(); ++g) {
        if (staged_[g].row >= 0) stagedAt[staged_[g].row] = static_cast<int>(g);
    }
    std::vector<std::unique_ptr<Row>> rows;
    rows.reserve(rows_.size() + staged_.size() + static_cast<std::size_t>(bulkShots_));
    int open = -1;  // the staged group whose rows come before the next group row
    auto close = [&] {
        if (open < 0) return;
        for (auto& shot : staged_[open].shots)
            rows.push_back(std::move(shot));
        open = -1;
    };
    for (int r = 0; r < RowCount(); ++r) {
        if (rows_[r]->group) {
            close();
            open = stagedAt[r];
        }
        rows.push_back(std::move(rows_[r]));
    }
    close();
    for (StagedGroup& group : staged_) {
        if (group.row >= 0) continue;
        rows.push_back(std::move(group.newGroup));
        for (auto& shot : group.shots)
            rows.push_back(std::move(shot));
    }
    rows_ = std::move(rows);
    currentRow_ = activeRow_ = -1;
    for (int r = 0; r < RowCount(); ++r) {
        if (rows_[r].get() == current) currentRow_ = r;
        if (rows_[r].get() == active) activeRow_ = r;
    }
    staged_.clear();
    stagedIndex_.clear();
    lastStaged_ = nullptr;
    bulkShots_ = 0;
}

void ShotTable::RemoveEmptyGroups() {
    bool removed = true;
    while (removed && RowCount() >= 2) {
        removed = false;
        for (int r = 1; r < RowCount(); ++r) {
            if (rows_[r]->group && (r == RowCount() - 1 || rows_[r + 1]->group)) {
                RemoveRow(r);
                removed = true;
                break;
            }
        }
    }
    if (RowCount() == 2 && rows_[1]->group) RemoveRow(1);
}

void ShotTable::ComputeGroup(int groupRow, int firstShot, int endShot) {
    Row& group = *rows_[groupRow];
    const int count = endShot - firstShot;
    // Each shot row is in the units it was written in; the group shows the units of its first
    // shot, so every row's speeds and distances are brought to those before they are summed.
    int distance = distanceUnit_;
    int speed = speedUnit_;
    if (count > 0) UnitsOf(rows_[firstShot]->cells[kUnitsColumn], distance, speed);
    // A row whose units text names no units is taken to be in the group's.
    std::vector<std::array<int, 2>> rowUnits(static_cast<std::size_t>(count), {distance, speed});
    for (int i = 0; i < count; ++i) {
        auto& units = rowUnits[static_cast<std::size_t>(i)];
        UnitsOf(rows_[firstShot + i]->cells[kUnitsColumn], units[0], units[1]);
    }
    std::vector<double> values(static_cast<std::size_t>(count));
    for (int column : kStatisticColumns) {
        const bool isSpeed = column == kBallSpeedColumn || column == kClubSpeedColumn;
        const bool isDistance = column == kCarryColumn || column == kOfflineColumn ||
                                column == kTotalColumn || column == kMaxHeightColumn;
        // A doubtful spin is no measurement: the group's spins are those of the others, unless
        // every spin of the group is doubtful.
        const bool measuredOnly =
            IsSpinColumn(column) && std::any_of(rows_.begin() + firstShot, rows_.begin() + endShot,
                                                [](const std::unique_ptr<Row>& row) {
                                                    return !row->values ||
                                                           !row->values->entry.spinDoubtful;
                                                });
        int used = 0;
        for (int i = 0; i < count; ++i) {
            const Row& row = *rows_[firstShot + i];
            if (measuredOnly && row.values && row.values->entry.spinDoubtful) continue;
            double v = 0.0;
            // A shot's recorded value, unrounded, in the group's units; a row never given a shot
            // is read back from its cells.
            if (!(row.values && RecordedValue(*row.values, column, distance, speed, v))) {
                const auto& units = rowUnits[static_cast<std::size_t>(i)];
                v = ReadDouble(row.cells[column]);
                if (isSpeed) v = shot::ConvertSpeed(v, units[1], speed);
                if (isDistance) v = shot::ConvertDistance(v, units[0], distance);
            }
            values[static_cast<std::size_t>(used++)] = v;
        }
        double mean = 0.0;
        double deviation = 0.0;
        shot::MeanAndDeviation(values.data(), used, mean, deviation);
        group.cells[column] =
            Printf(IsSpinColumn(column) ? "%.0f (%.0f)" : "%.1f (%.1f)", mean, deviation);
    }
    if (count > 0) group.cells[kUnitsColumn] = rows_[firstShot]->cells[kUnitsColumn];

    // The score is read back from the row as it shows, so it follows the distance unit.
    long shots = ReadLong(group.cells[kGroupCountColumn]);
    shots = std::clamp<long>(shots, INT_MIN, INT_MAX);
    double meanCarry = 0.0, sdCarry = 0.0, meanOffline = 0.0, sdOffline = 0.0;
    std::sscanf(group.cells[kCarryColumn].c_str(), "%lf (%lf)", &meanCarry, &sdCarry);
    std::sscanf(group.cells[kOfflineColumn].c_str(), "%lf (%lf)", &meanOffline, &sdOffline);
    group.cells[kGroupScoreColumn] = shot::PerformanceAnalysis::GroupScore(
        static_cast<int>(shots), meanCarry, sdCarry, sdOffline);
    group.background = kGroupRowColour;
}

void ShotTable::UpdateGroups() {
    RemoveEmptyGroups();
    if (RowCount() < 2) return;
    for (int r = 1; r < RowCount(); ++r) {
        if (!rows_[r]->group) continue;
        int end = r + 1;
        while (end < RowCount() && !rows_[end]->group)
            ++end;
        ComputeGroup(r, r + 1, end);
        r = end - 1;
    }
    const int last = RowCount() - 1;
    Notify([&](ShotTableListener& l) { l.CellsChanged(1, last); });
}

void ShotTable::DeleteSelected() {
    if (RowCount() < 2) return;
    for (int r = 1; r < RowCount(); ++r) {
        if (rows_[r]->selected && !rows_[r]->group) {
            rows_[r]->cells[kItemColumn] = kDeleteMark;
            Notify([&](ShotTableListener& l) { l.CellsChanged(r, r); });
        }
    }
    // Group rows are never removed here, even a group whose item is called "DELETE".
    const int times = RowCount();
    for (int i = 0; i < times; ++i) {
        int found = -1;
        for (int r = 1; r < RowCount() && found < 0; ++r) {
            if (!rows_[r]->group && rows_[r]->cells[kItemColumn] == kDeleteMark) found = r;
        }
        if (found < 0) break;
        RemoveRow(found);
    }
    UpdateGroups();
    currentRow_ = -1;
    DeleteLastShot();
}

void ShotTable::DeleteLastShot() {
    SetDeleteLastShotEnabled(false);
    const int row = currentRow_;
    if (row >= 1 && ValidRow(row) && !rows_[row]->group) {
        RemoveRow(row);
        currentRow_ = -1;
        UpdateGroups();
    }
}

void ShotTable::NewSession() {
    if (RowCount() < 2) return;
    RemoveRowsFrom(1);
    Notify([](ShotTableListener& l) { l.SessionCleared(); });
    unsaved_ = false;
    currentRow_ = -1;
    DeleteLastShot();
}

void ShotTable::LoadColumnWidths() {
    const base::SettingsSnapshot settings = base::SettingsSnapshot::Read(settings_);
    for (int c = 0; c < kColumnCount; ++c) {
        if (!kWidthKeys[c]) continue;
        const std::string text = settings.Text(kWidthKeys[c]->id);
        if (text.empty()) continue;
        const long width = ReadLong(text);
        if (width > 0 && width <= INT_MAX) SetColumnWidth(c, static_cast<int>(width));
    }
}

void ShotTable::SaveColumnWidths() const {
    for (int c = 0; c < kColumnCount; ++c) {
        if (!kWidthKeys[c]) continue;
        settings_.Write(kWidthKeys[c]->id, Printf("%d", widths_[c]));
    }
}

std::string ShotTable::ItemOf(int row) const {
    for (int r = std::min(row, RowCount() - 1); r >= 1; --r) {
        if (rows_[r]->group) return rows_[r]->cells[kItemColumn];
    }
    return {};
}

void ShotTable::BeginBulkAdd() {
    if (bulkDepth_ == 0) {
        Notify([](ShotTableListener& l) { l.AboutToReset(); });
        bulkModel_ = std::make_unique<flight::FlightModel>(flight_);
        bulkFlight_ = flight_;
    }
    ++bulkDepth_;
}

void ShotTable::EndBulkAdd() {
    if (bulkDepth_ == 0) return;
    if (bulkDepth_ == 1) {
        PlaceStagedRows();
        bulkModel_.reset();
        UpdateGroups();  // still quiet: the views reset below
    }
    if (--bulkDepth_ > 0) return;
    Notify([](ShotTableListener& l) { l.Reset(); });
    Notify([&](ShotTableListener& l) {
        l.ActiveRowChanged(activeRow_);
        l.DeleteLastShotEnabledChanged(deleteLastShotEnabled_);
    });
}

void ShotTable::AddListener(ShotTableListener* listener) {
    if (listener && std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end())
        listeners_.push_back(listener);
}

void ShotTable::RemoveListener(ShotTableListener* listener) {
    listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

void ShotTable::SetClock(std::function<std::time_t()> clock) { clock_ = std::move(clock); }

std::time_t ShotTable::Now() const { return clock_ ? clock_() : std::time(nullptr); }

}  // namespace kyvern::data
