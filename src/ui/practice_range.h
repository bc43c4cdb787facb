#pragma once

// The practice range: a driving range seen from behind the tee with the ball's flight drawn
// along its trajectory, on a screen of its own; and the small pop-up of a shot's distances.

#include <QElapsedTimer>
#include <QPainter>
#include <QRectF>
#include <QTimer>
#include <QWidget>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "base/settings_schema.h"
#include "flight/flight_result.h"
#include "shot/shot_record.h"

class QLabel;

namespace kyvern::ui {

// The range's camera, looking down the target line.
struct RangeView {
    QRectF area;
    double horizonY = 0.0;
    double focal = 0.0;
    // High behind the tee, as from a range tower: the greens spread down the picture.
    static constexpr double kEyeBack = 100.0;   // yards behind the tee
    static constexpr double kEyeHeight = 25.0;  // yards above the ground

    explicit RangeView(const QRectF& area);
    // A point downrange, offline (right positive) and up, in yards, on the picture.
    QPointF Project(double downrange, double offline, double height) const;
};

// Fraction of the animation at which the ball lands; the roll takes the rest.
inline constexpr double kLandingFraction = 0.85;

// The range with target greens every 50 display units, the ball's flight up to fraction of the
// animation (0 nothing flown, 1 the ball at rest), and its carry, total and offline in large
// type once it has landed. flight may be null: the range without a shot. Earlier shots show
// where they came to rest, as small balls on the range.
void DrawPracticeRange(QPainter& painter, const QRectF& area, const flight::FlightResult* flight,
                       double fraction, int distanceUnit,
                       std::span<const flight::FlightResult> earlier = {});

// The screen a Setup/PracticeRange value names: "Mon1" … "Mon4" as screens 0 … 3, the first
// when there are fewer; nothing for "None" or any other word.
std::optional<int> PracticeRangeScreen(std::string_view setting, int screenCount);

// Setup/DxPopupDisplay: seconds the pop-up stays; 0 for "Always" (it stays); nothing for "0"
// or any other word (no pop-up).
std::optional<int> PopupSeconds(std::string_view setting);

// A frameless full-screen window that animates each shot on the range.
class PracticeRangeWindow : public QWidget {
public:
    explicit PracticeRangeWindow(QWidget* parent = nullptr);

    // Starts the flight of a new shot from the tee.
    void ShowShot(const flight::FlightResult& flight, int distanceUnit);
    double Fraction() const { return fraction_; }
    // Puts the window full screen on the given screen.
    void PlaceOn(int screen);

protected:
    void paintEvent(QPaintEvent*) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Tick();

    static constexpr std::size_t kEarlierShown = 30;

    flight::FlightResult flight_;
    std::vector<flight::FlightResult> earlier_;  // oldest first
    bool hasShot_ = false;
    int distanceUnit_ = 0;
    double fraction_ = 0.0;
    double durationMs_ = 1.0;
    QElapsedTimer clock_;
    QTimer timer_;
};

// Opens, moves and closes the practice range as Setup/PracticeRange says, and shows the
// distance pop-up as Setup/DxPopupDisplay says. The main window owns one and gives it each shot.
class PracticeRange {
public:
    explicit PracticeRange(base::Settings settings = {});
    ~PracticeRange();

    // Reads both settings again (after the settings dialog or an UpdateSettings command).
    void Apply();
    // A new shot: animated on the range, its distances in the pop-up.
    void ShowShot(const shot::ShotRecord& shot);

    PracticeRangeWindow* Window() const { return window_; }
    QWidget* Popup() const { return popup_; }

private:
    base::Settings settings_;
    PracticeRangeWindow* window_ = nullptr;
    QWidget* popup_ = nullptr;
    QLabel* popupText_ = nullptr;
    QTimer popupTimer_;
};

}  // namespace kyvern::ui
