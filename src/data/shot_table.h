#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/settings_schema.h"
#include "base/status.h"
#include "flight/flight_model.h"
#include "shot/shot_record.h"

namespace kyvern::data {

inline constexpr int kColumnCount = 28;

// Fixed column numbers of the shot table.
enum Column : int {
    kItemColumn = 0,
    kShotColumn = 1,
    kPlotColumn = 2,
    kGroupScoreColumn = 3,
    kShotScoreColumn = 4,
    kBallSpeedColumn = 5,
    kLaunchAngleColumn = 6,
    kTotalSpinColumn = 7,
    kBackSpinColumn = 8,
    kSideSpinColumn = 9,
    kSideAngleColumn = 10,
    kClubSpeedColumn = 11,
    kCarryColumn = 12,
    kOfflineColumn = 13,
    kFlightTimeColumn = 14,
    kTotalColumn = 15,
    kMaxHeightColumn = 16,
    kSessionColumn = 17,
    kUserColumn = 18,
    kUnitsColumn = 19,
    kWhenColumn = 20,
    kAttackColumn = 21,
    kPathAngleColumn = 22,
    kFaceAngleColumn = 23,
    kEffectiveLoftColumn = 24,
    kClubMassColumn = 25,
    kClubLoftColumn = 26,
    kGroupCountColumn = 27,
};

// The three spin columns: whole rpm, and what a doubtful spin marks.
constexpr bool IsSpinColumn(int column) {
    return column == kTotalSpinColumn || column == kBackSpinColumn || column == kSideSpinColumn;
}

// The text that marks a shot row about to be removed by "Delete Record".
inline constexpr std::string_view kDeleteMark = "DELETE";
// Width of a column whose settings key is empty, in twips.
inline constexpr int kDefaultColumnWidth = 1200;

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    bool operator==(const Rgb&) const = default;
};
// Every cell of a group row is painted with this.
inline constexpr Rgb kGroupRowColour{255, 255, 128};

// What a view of the table is told. Row numbers count the header row as row 0. Between
// AboutToReset and Reset the view must not read the table.
class ShotTableListener {
public:
    virtual ~ShotTableListener() = default;
    virtual void RowsAboutToBeInserted(int /*first*/, int /*last*/) {}
    virtual void RowsInserted(int /*first*/, int /*last*/) {}
    virtual void RowsAboutToBeRemoved(int /*first*/, int /*last*/) {}
    virtual void RowsRemoved(int /*first*/, int /*last*/) {}
    // Texts or attributes of these rows changed.
    virtual void CellsChanged(int /*firstRow*/, int /*lastRow*/) {}
    virtual void AboutToReset() {}
    virtual void Reset() {}
    virtual void SelectionChanged() {}
    virtual void ActiveRowChanged(int /*row*/) {}
    virtual void DeleteLastShotEnabledChanged(bool /*enabled*/) {}
    virtual void ColumnWidthChanged(int /*column*/) {}
    // "New Session" emptied the table; the drawing views start afresh.
    virtual void SessionCleared() {}
};

// One shot as the shot computation or the session loader hands it to the table: speeds in
// ft/s, angles in degrees, spins in rpm, mass in grams, texts unchanged.
struct ShotEntry {
    double ballSpeed = 0.0;
    double launchAngle = 0.0;
    double totalSpin = 0.0;
    double backSpin = 0.0;
    double sideSpin = 0.0;
    double sideAngle = 0.0;
    double clubSpeed = 0.0;
    std::string user;
    std::string session;
    std::string item;
    std::string timeText;  // "%d/%b/%Y %H:%M:%S"; used when the time is not taken now
    double attackAngle = 0.0;
    double pathAngle = 0.0;
    double faceAngle = 0.0;
    double effectiveLoft = 0.0;
    double score = 0.0;
    double clubMass = 0.0;
    double clubLoft = 0.0;
    // The spin was measured too doubtfully to be passed on: shown as such, and written to a
    // session file as a "?" after each spin.
    bool spinDoubtful = false;
    // A putt's roll on the green (yards, seconds), recorded as its flight in place of the
    // table's own prediction: a putt does not fly.
    std::optional<flight::FlightSummary> rolled;
};

// A row's figures as a putt's roll when they are a putt's: no spin at all and no carry, yet a
// distance. No full shot reads so: a struck ball with no carry has not left the tee. Distances
// in the given display unit; the roll in yards.
std::optional<flight::FlightSummary> RolledPutt(double totalSpin, double backSpin, double sideSpin,
                                                double carry, double offline, double total,
                                                double flightTime, int distanceUnit);

// The spins a recorded shot is flown with: a doubtful spin's flight is the trusted one's.
inline shot::TrustedSpins FlownSpins(const ShotEntry& e) {
    return {e.ballSpeed, e.launchAngle, e.backSpin, e.sideSpin, e.spinDoubtful};
}

// A shot row's values as the table recorded them, unrounded: what it was given and the flight it
// predicted (yards and seconds) with the ball and air it was flown in, which are kept so that a
// view draws the very same flight again.
struct ShotValues {
    ShotEntry entry;
    flight::FlightOptions flown;
    flight::FlightSummary flight;
};

// The table of shots: 28 columns, a header row, group rows (one per item) each followed by its
// shot rows. The cell texts are the data; everything that reads shots back parses them. Free of
// any window toolkit: a view shows it through ShotTableListener.
class ShotTable {
public:
    // flight: the ball and air the table predicts its shots' distances with. The shot log is
    // always the program folder's, whatever the settings.
    ShotTable(const flight::FlightOptions& flight, base::Settings settings);
    ~ShotTable();
    ShotTable(const ShotTable&) = delete;
    ShotTable& operator=(const ShotTable&) = delete;

    // --- The grid ---
    int RowCount() const { return static_cast<int>(rows_.size()); }
    static int ColumnCount() { return kColumnCount; }
    // An empty text outside the table.
    const std::string& Cell(int row, int column) const;
    // A view's edit of one cell (the plot colour). Outside the table nothing happens.
    void SetCell(int row, int column, std::string_view text);
    bool IsGroupRow(int row) const;
    // The background of every cell of the row; none for rows left unpainted.
    std::optional<Rgb> Background(int row) const;
    bool IsColumnHidden(int column) const;
    int ColumnWidth(int column) const;
    void SetColumnWidth(int column, int twips);
    // The GridSetup key of a column; nullptr for the hidden count column.
    static const char* WidthKey(int column);
    // The drop-down list of the plot column.
    static std::string PlotColourList();

    // --- Selection, current and active row, flags ---
    void Select(int row, bool selected);
    void SelectRange(int firstRow, int lastRow);
    void ClearSelection();
    bool IsSelected(int row) const;
    // The row of the last shot recorded or re-measured; -1 when there is none.
    int CurrentRow() const { return currentRow_; }
    // The grid's active row (the one a view scrolls to); -1 when none.
    int ActiveRow() const { return activeRow_; }
    bool Unsaved() const { return unsaved_; }
    void ClearUnsaved() { unsaved_ = false; }
    bool DeleteLastShotEnabled() const { return deleteLastShotEnabled_; }

    // --- Display units ---
    int DistanceUnit() const { return distanceUnit_; }
    int SpeedUnit() const { return speedUnit_; }
    void SetDistanceUnit(int index);
    void SetSpeedUnit(int index);
    // Setup/DistanceDisplay and Setup/SpeedDisplay, read when the settings are (re)loaded.
    void ReadDisplayUnits(const base::SettingsSnapshot& settings);
    // The ball and air of the shots added from now on.
    void SetFlightOptions(const flight::FlightOptions& flight) { flight_ = flight; }
    // The units label: distance word and speed label with one blank ("Yards MPH").
    std::string UnitsLabel() const;
    static const char* DistanceWord(int index);  // "Yards", "Feet", "Meters"

    // --- Operations ---
    void SetupTable();
    // A shot recorded now (useNow) is also appended to the shot log; the status is the log's.
    base::Status AddShot(const ShotEntry& shot, bool useNow, bool newRow);
    int FindOrInsertShotRow(std::string_view item);
    void UpdateGroups();
    // The commands as done once the user has agreed; asking is the caller's (the table never
    // talks to the user).
    void DeleteSelected();  // "Delete Record"
    void DeleteLastShot();  // "Delete Last Shot"
    void NewSession();      // "New Session"
    void LoadColumnWidths();
    void SaveColumnWidths() const;

    // The item name of the group a row belongs to (a group row's own name).
    std::string ItemOf(int row) const;
    // The values of a shot row; null for the header, the group rows and rows outside the table.
    const ShotValues* Values(int row) const;
    // Whether the row's spin was too doubtful to pass on as measured, and whether the cell is
    // one of that row's spins.
    bool SpinDoubtful(int row) const;
    bool IsDoubtfulCell(int row, int column) const {
        return IsSpinColumn(column) && SpinDoubtful(row);
    }
    // A shot row's recorded values, or, for a row never given a shot, its cells read back in
    // the units its Units cell names and flown in air (into spare).
    const ShotValues& ValuesOrCells(int row, const flight::FlightOptions& air,
                                    ShotValues& spare) const;

    // Many AddShot calls in a row (loading a session): the settings of the flight prediction
    // are read once, the groups are recomputed once at the end, and the views get one reset
    // instead of a notice per row. New rows take their place at the end (the table does not
    // show them before), so the whole add takes time in proportion to the rows. The table ends
    // as the single calls would leave it.
    void BeginBulkAdd();
    void EndBulkAdd();

    void AddListener(ShotTableListener* listener);
    void RemoveListener(ShotTableListener* listener);

    // The clock of the "When" column and of the saved session's creation time.
    void SetClock(std::function<std::time_t()> clock);
    std::time_t Now() const;

    const base::Settings& SettingsFile() const { return settings_; }

private:
    struct Row {
        std::array<std::string, kColumnCount> cells;
        std::optional<ShotValues> values;  // a shot row's, once a shot is written into it
        bool group = false;
        bool selected = false;
        std::optional<Rgb> background;
    };

    bool ValidRow(int row) const { return row >= 0 && row < RowCount(); }
    void InsertRow(int at, std::unique_ptr<Row> row);
    void RemoveRow(int row);
    void RemoveRowsFrom(int first);
    void SetCurrentRow(int row) { currentRow_ = row; }
    void SetActiveRow(int row);
    void SetDeleteLastShotEnabled(bool enabled);
    Row& StageShotRow(std::string_view item);
    void PlaceStagedRows();
    void RemoveEmptyGroups();
    // The cells of the shot in the row's values, but for its flight, time and number.
    static void WriteCells(Row& row, int distanceUnit, int speedUnit);
    // The shot's flight into its values and its distance cells.
    static void Fly(flight::FlightModel& model, Row& row, int distanceUnit);
    static void Flown(Row& row, const flight::FlightSummary& flight, int distanceUnit);
    void FlyStagedRows();
    void ComputeGroup(int groupRow, int firstShot, int endShot);

    template <typename F>
    void Notify(F&& f) {
        if (bulkDepth_ > 0) return;
        for (ShotTableListener* l : listeners_)
            f(*l);
    }

    base::Settings settings_;
    flight::FlightOptions flight_;
    std::vector<std::unique_ptr<Row>> rows_;
    std::array<int, kColumnCount> widths_{};
    int currentRow_ = -1;
    int activeRow_ = -1;
    bool unsaved_ = false;
    bool deleteLastShotEnabled_ = false;
    int distanceUnit_ = 0;
    int speedUnit_ = 0;
    int bulkDepth_ = 0;
    std::unique_ptr<flight::FlightModel> bulkModel_;
    flight::FlightOptions bulkFlight_;  // what bulkModel_ was made with
    // Staged rows whose cells and flight are still to be written, with the units of their cells.
    struct Unflown {
        Row* row;
        int distanceUnit;
        int speedUnit;
    };
    std::vector<Unflown> unflown_;
    // During a bulk add new shot rows wait here, per group in the order they came, and are put
    // in place at its end; groups are found by their item folded to lower case. Inserting each
    // row into the table would take time in proportion to the rows already there.
    struct StagedGroup {
        int row = -1;                   // the group row in the table; -1 for a new group
        std::unique_ptr<Row> newGroup;  // a new group's row
        std::vector<std::unique_ptr<Row>> shots;
    };
    std::vector<StagedGroup> staged_;
    std::unordered_map<std::string, std::size_t> stagedIndex_;
    Row* lastStaged_ = nullptr;
    long bulkShots_ = 0;
    std::vector<ShotTableListener*> listeners_;
    std::function<std::time_t()> clock_;
};

}  // namespace kyvern::data
