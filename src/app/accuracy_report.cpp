#include "app/accuracy_report.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <memory>
#include <vector>

#include "analysis/analysis_codes.h"
#include "analysis/analysis_pipeline.h"
#include "analysis/launch_scene.h"
#include "base/math_constants.h"
#include "base/message_list.h"
#include "capture/camera_table.h"
#include "frame/camera_model.h"

namespace kyvern::app {

namespace {

using frame::Xyz;

constexpr double kBallDiameter = 1.685;  // inches, a golf ball
// No settings file: the analysis and the scene read every key's default.
// Within this many degrees of the alias limit a degree of error decides which way the spin
// reads: the grid draws such a shot again rather than judge the analysis by a coin's toss.
constexpr double kAliasGuard = 5.0;
constexpr double kMinTravel = 2.1;  // inches between the two flashes
constexpr double kMaxTravel = 5.5;
constexpr double kEdgeMargin = 4.0;  // pixels between a ball image and the frame's side
constexpr double kGapMargin = 8.0;   // pixels between the two ball images
constexpr int kTries = 50;

// splitmix64: the same draws on every platform.
class Draws {
public:
    Draws(std::uint64_t seed, int index)
        : state_(seed * 0xD1B54A32D192ED03ull + std::uint64_t(index) * 0x9E3779B97F4A7C15ull) {}

    double Uniform(double low, double high) {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        return low + (high - low) * double(z >> 11) * 0x1.0p-53;
    }
    std::uint64_t Seed() { return std::uint64_t(Uniform(0.0, 4294967296.0)); }

private:
    std::uint64_t state_;
};

// Processor time of this thread: what the analysis costs, however busy the machine is.
double ThreadSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

Xyz Rotate(const Xyz& v, const Xyz& u, double angle) {
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    return v.Scaled(c).Plus(u.Cross(v).Scaled(s)).Plus(u.Scaled(u.Dot(v) * (1.0 - c)));
}

struct Room {
    double left, right, up, down;  // pixels each ball image may move before it leaves the frame
    double apart;                  // pixels between the two images beyond their radii
};

Room RoomOf(const sim::ShotTruth& t, int width, int height) {
    const Xyz* pix[2] = {&t.pix0, &t.pix1};
    Room room{1e9, 1e9, 1e9, 1e9, 0.0};
    for (const Xyz* p : pix) {
        const double r = p->z / 2.0 + kEdgeMargin;
        room.left = std::min(room.left, p->x - r);
        room.right = std::min(room.right, width - p->x - r);
        room.up = std::min(room.up, p->y - r);
        room.down = std::min(room.down, height - p->y - r);
    }
    room.apart = std::hypot(t.pix1.x - t.pix0.x, t.pix1.y - t.pix0.y) - (t.pix0.z + t.pix1.z) / 2.0;
    return room;
}

bool Fits(const sim::ShotSetup& s) {
    sim::ShotTruth t;
    if (!sim::FrameRenderer::Solve(s, t)) return false;
    const Room room = RoomOf(t, s.width, s.height);
    return room.left >= 0.0 && room.right >= 0.0 && room.up >= 0.0 && room.down >= 0.0 &&
           room.apart >= kGapMargin;
}

// The flight moved across the view by the fractions fx, fy (-1 .. 1) of the room it has.
bool PlaceAcross(sim::ShotSetup& s, double fx, double fy) {
    sim::ShotTruth t;
    if (!sim::FrameRenderer::Solve(s, t)) return false;
    const Room room = RoomOf(t, s.width, s.height);
    // Inches per pixel at the nearer ball, where a move shows largest.
    const double nearest = std::min(-t.ball0.z, -t.ball1.z);
    const double inches = frame::PixelPitch(s.width) * nearest / frame::kFocalLength;
    const Xyz start = s.ball0;
    const double dx = (fx > 0.0 ? fx * room.right : fx * room.left) * inches;
    const double dy = (fy > 0.0 ? fy * room.up : fy * room.down) * inches;  // rows run down
    for (double scale = 1.0; scale > 0.05; scale *= 0.8) {
        s.ball0 = start.Plus(dx * scale, dy * scale, 0.0);
        if (Fits(s)) return true;
    }
    s.ball0 = start;
    return true;
}

// A frame read whole whose balls gave no launch.
constexpr const char* kSceneRefusal = "no launch from the balls found";

void Tally(std::vector<std::pair<std::string, int>>& counts, const std::string& reason) {
    for (auto& [text, count] : counts) {
        if (text == reason) {
            ++count;
            return;
        }
    }
    counts.emplace_back(reason, 1);
}

double Error(AccuracyValue value, const analysis::LaunchValues& v, const sim::ShotSetup& s) {
    switch (value) {
        case AccuracyValue::kBallSpeed:
            return (v.ballSpeed - s.ballSpeed) / s.ballSpeed * 100.0;
        case AccuracyValue::kLaunchAngle:
            return v.launchAngle - s.launchAngle;
        case AccuracyValue::kSideAngle:
            return v.sideAngle - s.sideAngle;
        case AccuracyValue::kBackSpin:
            return (v.backSpin - s.backSpin) / s.backSpin * 100.0;
        case AccuracyValue::kSideSpin:
            return v.sideSpin - s.sideSpin;
    }
    return 0.0;
}

ErrorFigures Figures(const std::vector<double>& errors, const std::vector<int>& shots) {
    ErrorFigures f;
    f.count = int(errors.size());
    if (f.count == 0) return f;
    double sum = 0.0;
    for (std::size_t i = 0; i < errors.size(); ++i) {
        sum += errors[i];
        if (f.worstShot < 0 || std::fabs(errors[i]) > std::fabs(f.worst)) {
            f.worst = errors[i];
            f.worstShot = shots[i];
        }
    }
    f.bias = sum / f.count;
    if (f.count > 1) {
        double squares = 0.0;
        for (double e : errors)
            squares += (e - f.bias) * (e - f.bias);
        f.sd = std::sqrt(squares / (f.count - 1));
    }
    return f;
}

}  // namespace

const char* AccuracyValueName(AccuracyValue value) {
    static constexpr const char* kNames[] = {"ball speed", "launch angle", "side angle",
                                             "back spin", "side spin"};
    return kNames[int(value)];
}

const char* AccuracyValueUnit(AccuracyValue value) {
    static constexpr const char* kUnits[] = {"%", "deg", "deg", "%", "rpm"};
    return kUnits[int(value)];
}

bool IsWrongShot(const std::array<double, kAccuracyValues>& errors, double trueBackSpin,
                 bool spinMeasured) {
    constexpr double kSpeedPercent = 5.0;
    constexpr double kAngleDegrees = 2.0;
    constexpr double kBackSpinPercent = 25.0;
    constexpr double kSpinRpm = 1000.0;
    const auto e = [&](AccuracyValue v) { return std::fabs(errors[int(v)]); };
    if (e(AccuracyValue::kBallSpeed) > kSpeedPercent ||
        e(AccuracyValue::kLaunchAngle) > kAngleDegrees ||
        e(AccuracyValue::kSideAngle) > kAngleDegrees) {
        return true;
    }
    if (!spinMeasured) return false;
    const double backRpm = e(AccuracyValue::kBackSpin) / 100.0 * std::fabs(trueBackSpin);
    return e(AccuracyValue::kBackSpin) > kBackSpinPercent || backRpm > kSpinRpm ||
           e(AccuracyValue::kSideSpin) > kSpinRpm;
}

GridShot MakeGridShot(std::uint64_t seed, int index, int width) {
    Draws draw(seed, index);
    GridShot shot;
    sim::ShotSetup& s = shot.setup;
    s.width = width == 1024 || width == 640 ? width : (index % 2 == 0 ? 1024 : 640);
    s.height = s.width == 1024 ? 768 : 480;
    s.ballDiameter = kBallDiameter;
    shot.speedMode = (index / 2) % 4;
    const double interval = capture::SpeedModes()[shot.speedMode].strobeInterval;
    s.t1 = 0.001;
    s.t2 = s.t1 + interval;
    const double slowest = std::max(60.0, kMinTravel / (12.0 * interval));
    const double fastest = std::min(300.0, kMaxTravel / (12.0 * interval));
    const double nearest = s.width == 1024 ? 16.0 : 14.0;
    const double farthest = nearest + 2.0;
    for (int attempt = 0; attempt < kTries; ++attempt) {
        s.ballSpeed = draw.Uniform(slowest, fastest);
        s.launchAngle = draw.Uniform(0.0, 40.0);
        s.sideAngle = draw.Uniform(-10.0, 10.0);
        s.backSpin = draw.Uniform(1500.0, 10000.0);
        s.sideSpin = draw.Uniform(-2000.0, 2000.0);
        s.rifleSpin = 0.0;
        const Xyz spin(s.rifleSpin, s.sideSpin, s.backSpin);
        const double roll = draw.Uniform(-30.0, 30.0) * base::kExactDegreesToRadians;
        s.lineNormal = Rotate(sim::NormalAcrossSpin(s.backSpin, s.sideSpin, s.rifleSpin),
                              spin.Divided(spin.Length()), roll);
        // Both balls within the distances: the flight's middle as far from them as the side
        // angle carries each ball nearer or farther.
        const double travel = s.ballSpeed * 12.0 * interval;
        const double depthSpread =
            travel / 2.0 * std::fabs(std::sin(s.sideAngle * base::kExactDegreesToRadians));
        const double distance =
            draw.Uniform(nearest + depthSpread, std::max(nearest, farthest - depthSpread));
        s.ball0 = sim::CentredStart(s, distance);
        s.noise = draw.Uniform(1.0, 3.0);
        s.seed = draw.Seed();
        const double fx = draw.Uniform(-1.0, 1.0);
        const double fy = draw.Uniform(-1.0, 1.0);
        const double turn = spin.Length() * 6.0 * interval;
        if (std::fabs(turn - sim::kAliasedTurn) < kAliasGuard) continue;
        if (Fits(s) && PlaceAcross(s, fx, fy)) return shot;
    }
    return shot;  // the last draw: not reached with the envelope above
}

GridShot MakePuttShot(std::uint64_t seed, int index, int width) {
    constexpr double kFpsPerMph = 88.0 / 60.0;
    Draws draw(seed, index);
    GridShot shot;
    sim::ShotSetup& s = shot.setup;
    s.width = width == 1024 || width == 640 ? width : (index % 2 == 0 ? 1024 : 640);
    s.height = s.width == 1024 ? 768 : 480;
    s.ballDiameter = kBallDiameter;
    shot.speedMode = capture::kPuttModeNumber;
    const capture::SpeedMode& putt = capture::SpeedModes()[capture::kPuttModeNumber];
    const double strobes[] = {capture::StrobeOfSlot(putt, 0, 1).interval,
                              capture::StrobeOfSlot(putt, 0, 2).interval,
                              capture::StrobeOfSlot(putt, 1, 2).interval};
    const double nearest = s.width == 1024 ? 16.0 : 14.0;
    s.t1 = 0.001;
    for (int attempt = 0; attempt < kTries; ++attempt) {
        s.ballSpeed = draw.Uniform(1.5, 20.0) * kFpsPerMph;
        s.launchAngle = draw.Uniform(-1.0, 1.5);
        s.sideAngle = draw.Uniform(-6.0, 6.0);
        const double roll = s.ballSpeed * 12.0 / (kBallDiameter / 2.0) * 60.0 / (2.0 * base::kPi);
        s.backSpin = -roll * draw.Uniform(0.33, 1.0);
        s.sideSpin = 0.0;
        s.rifleSpin = 0.0;
        const Xyz spin(s.rifleSpin, s.sideSpin, s.backSpin);
        s.lineNormal = Rotate(sim::NormalAcrossSpin(s.backSpin, s.sideSpin, s.rifleSpin),
                              spin.Divided(spin.Length()),
                              draw.Uniform(-90.0, 90.0) * base::kExactDegreesToRadians);
        const double distance = draw.Uniform(nearest, nearest + 2.0);
        s.noise = draw.Uniform(1.0, 3.0);
        s.seed = draw.Seed();
        const double fx = draw.Uniform(-1.0, 1.0);
        const double fy = draw.Uniform(-1.0, 1.0);
        for (double interval : strobes) {
            s.t2 = s.t1 + interval;
            s.ball0 = sim::CentredStart(s, distance);
            if (Fits(s) && PlaceAcross(s, fx, fy)) return shot;
        }
    }
    return shot;  // the last draw: not reached with the envelope above
}

AccuracySummary RunAccuracy(const AccuracyOptions& options, const ShotObserver& observe) {
    AccuracySummary summary;
    summary.shots = std::max(options.shots, 0);
    constexpr analysis::Precision kModes[2] = {analysis::Precision::kStandard,
                                               analysis::Precision::kRefined};
    // The grid is measured on the defaults, whatever the settings file says.
    analysis::AnalysisPipeline pipeline(kBallDiameter, analysis::AnalysisOptions{});
    analysis::LaunchScene scene(kBallDiameter, analysis::SceneOptions{});
    sim::FrameRenderer renderer;
    auto frame = std::make_unique<frame::CapturedImage>();

    std::vector<double> errors[2][kAccuracyValues];
    std::vector<int> shots[2][kAccuracyValues];
    double seconds[2] = {0.0, 0.0};
    int analysed[2] = {0, 0};
    const int first = std::max(options.first, 0);
    for (int index = first; index < first + summary.shots; ++index) {
        GridShot shot = options.putts ? MakePuttShot(options.seed, index, options.width)
                                      : MakeGridShot(options.seed, index, options.width);
        shot.setup.realism = options.realism;
        ShotOutcome outcome;
        outcome.index = index;
        outcome.shot = shot;
        if (!sim::FrameRenderer::Solve(shot.setup, outcome.truth)) continue;
        // Left out: neither rendered nor analysed. A putt's spin is never measured.
        const bool aliased = outcome.truth.aliased && !options.putts;
        if (aliased || !renderer.Render(shot.setup, *frame)) {
            summary.aliased += aliased ? 1 : 0;
            if (observe) observe(outcome);
            continue;
        }
        for (int m = 0; m < 2; ++m) {
            PrecisionFigures& figures = summary.modes[m];
            pipeline.PinPrecision(kModes[m]);
            const double start = ThreadSeconds();
            const analysis::AnalysisSummary run = pipeline.RunAnalysis(*frame);
            frame->analyzed = bool(run);
            seconds[m] += ThreadSeconds() - start;
            ++analysed[m];
            if (frame->analyzed) analysis::LaunchScene::AlignNormals(*frame);
            if (!frame->analyzed ||
                !scene.SolveLaunch(analysis::FrameSet{frame.get(), nullptr, nullptr, nullptr})) {
                ++figures.failures;
                outcome.refusal[m] =
                    frame->analyzed ? kSceneRefusal : analysis::ErrorText(run.errorCode);
                Tally(figures.refusals, outcome.refusal[m]);
                continue;
            }
            outcome.measures[m] = analysis::MeasureConfidence(*frame, scene.Values());
            const analysis::ShotConfidence confidence =
                analysis::AssessShot(outcome.measures[m], scene.Values());
            outcome.confidence[m] = confidence;
            const bool planes = !scene.Values().putt &&
                                frame->result.balls[0].viewNormal.Length() >= 0.1 &&
                                frame->result.balls[1].viewNormal.Length() >= 0.1;
            for (int v = 0; v < kAccuracyValues; ++v)
                outcome.errors[m][v] = Error(AccuracyValue(v), scene.Values(), shot.setup);
            if (confidence.Value() < options.minConfidence) {
                ++figures.failures;
                const bool wrong = IsWrongShot(outcome.errors[m], shot.setup.backSpin, planes);
                ++(wrong ? figures.caught : figures.lost);
                outcome.refusal[m] = "doubtful: " + analysis::DoubtsText(confidence.doubts);
                Tally(figures.refusals, outcome.refusal[m]);
                continue;
            }
            const bool doubtfulSpin = planes && confidence.spin < options.minConfidence;
            if (doubtfulSpin) ++figures.spinDoubtful;
            const bool spin = planes && !doubtfulSpin;
            if (!planes) ++figures.spinless;
            outcome.measured[m] = true;
            for (int v = 0; v < kAccuracyValues; ++v) {
                const auto value = AccuracyValue(v);
                if (!spin &&
                    (value == AccuracyValue::kBackSpin || value == AccuracyValue::kSideSpin)) {
                    continue;
                }
                errors[m][v].push_back(outcome.errors[m][v]);
                shots[m][v].push_back(index);
            }
            outcome.wrong[m] = IsWrongShot(outcome.errors[m], shot.setup.backSpin, spin);
            if (outcome.wrong[m]) ++figures.wrong;
        }
        if (observe) observe(outcome);
    }
    for (int m = 0; m < 2; ++m) {
        PrecisionFigures& figures = summary.modes[m];
        figures.precision = kModes[m];
        for (int v = 0; v < kAccuracyValues; ++v)
            figures.values[v] = Figures(errors[m][v], shots[m][v]);
        figures.milliseconds = analysed[m] > 0 ? seconds[m] / analysed[m] * 1000.0 : 0.0;
    }
    return summary;
}

}  // namespace kyvern::app
