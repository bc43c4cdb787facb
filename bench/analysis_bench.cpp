// Speed of the frame analysis on drawn and rendered 640 x 480 and 1024 x 768 frames: the whole
// pipeline, and each step alone on the rendered frames, with all the lanes this processor has or
// AVX2's four, on one thread or two. Beside each time stands x_pass, the time as a multiple of
// one plain pass over the same frame's pixels measured in the same run, so that figures from
// different machines can be compared. Where OpenCV is installed, its circle finder
// times the same rendered frame as the reference a developer would reach for first.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/analysis_pipeline.h"
#include "analysis/image_analyzer.h"
#include "frame/captured_image.h"
#include "sim/frame_renderer.h"
#include "sim/shot_generator.h"

#ifdef KYVERN_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

using kyvern::analysis::AnalysisPipeline;
using kyvern::analysis::ImageAnalyzer;
using kyvern::frame::CapturedImage;
using kyvern::frame::Xyz;

// Two lit balls with a dark band each on a dark, slightly noisy scene.
void DrawFrame(CapturedImage& image, int width, int height) {
    image.width = width;
    image.height = height;
    image.bytesPerPixel = 1;
    image.valid = true;
    const double scale = width / 1024.0;
    const double diameter = width == 1024 ? 130.0 : 120.0;
    struct Ball {
        double x, y;
        Xyz n;
    } balls[2] = {{300.3 * scale, 400.6 * scale, Xyz(0.3, 0.9, 0.3)},
                  {700.8 * scale, 350.2 * scale, Xyz(0.5, 0.8, -0.2)}};
    for (Ball& b : balls)
        b.n.Normalize();
    std::uint32_t state = 12345;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            double value = 12;
            for (const Ball& b : balls) {
                const double r = diameter / 2;
                const double dx = (x + 0.5 - b.x) / r;
                const double dy = (y + 0.5 - b.y) / r;
                const double rr = dx * dx + dy * dy;
                if (rr >= 1.0) continue;
                const double dz = std::sqrt(1.0 - rr);
                value = 230 * (0.55 + 0.45 * dz);
                if (std::fabs(dx * b.n.x + dy * b.n.y + dz * b.n.z) < 0.06) value = 40;
            }
            state = state * 1664525u + 1013904223u;
            value += double(int(state >> 24) % 7) - 3.0;
            image.Pixels()[std::size_t(y) * width + x] = std::uint8_t(value);
        }
    }
}

// One plain pass over a frame's pixels (every byte read and summed), the best of many runs:
// the machine's own unit of time for a frame.
double PlainPassSeconds(const CapturedImage& frame) {
    const std::uint8_t* pixels = frame.Pixels();
    const std::size_t count = std::size_t(frame.width) * std::size_t(frame.height);
    double best = 1e9;
    for (int run = 0; run < 200; ++run) {
        const auto start = std::chrono::steady_clock::now();
        std::uint32_t sum = 0;
        for (std::size_t i = 0; i < count; ++i)
            sum += pixels[i];
        benchmark::DoNotOptimize(sum);
        const std::chrono::duration<double> taken = std::chrono::steady_clock::now() - start;
        best = std::min(best, taken.count());
    }
    return best;
}

// CPU time of the whole process (every thread of the analysis), in seconds.
double CpuSeconds(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}
double ProcessCpuSeconds() { return CpuSeconds(CLOCK_PROCESS_CPUTIME_ID); }
// The calling thread's alone: with a second thread, what is left on the first one's path.
double ThreadCpuSeconds() { return CpuSeconds(CLOCK_THREAD_CPUTIME_ID); }

// Sets the counters that put a benchmark's time per iteration beside the plain pass.
void ReportPassRatio(benchmark::State& state, const CapturedImage& frame, double seconds) {
    const double pass = PlainPassSeconds(frame);
    state.counters["pass_us"] = pass * 1e6;
    if (state.iterations() > 0) state.counters["x_pass"] = seconds / state.iterations() / pass;
}

CapturedImage& Frame(int width) {
    static CapturedImage small;
    static CapturedImage large;
    static bool drawn = false;
    if (!drawn) {
        DrawFrame(small, 640, 480);
        DrawFrame(large, 1024, 768);
        drawn = true;
    }
    return width == 1024 ? large : small;
}

void BM_RunAnalysis(benchmark::State& state) {
    CapturedImage& frame = Frame(int(state.range(0)));
    AnalysisPipeline pipeline(1.68, kyvern::analysis::AnalysisOptions{});
    pipeline.RunAnalysis(frame);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        benchmark::DoNotOptimize(pipeline.RunAnalysis(frame));
    }
    const std::chrono::duration<double> taken = std::chrono::steady_clock::now() - start;
    ReportPassRatio(state, frame, taken.count());
}
BENCHMARK(BM_RunAnalysis)->Arg(640)->Arg(1024)->Unit(benchmark::kMillisecond);

// A rendered strobed shot: real balls carry far more line pixels than the drawn bands above,
// which is what the mark grouping and the plane search feel. With `full`, the frame shows what
// a real camera does: dimples, prints, smear, uneven light, a scene with a mat, sensor noise.
CapturedImage& RenderedFrame(int width, bool full) {
    static CapturedImage frames[2][2];
    CapturedImage& frame = frames[width == 1024 ? 1 : 0][full ? 1 : 0];
    if (frame.width == 0) {
        kyvern::sim::GeneratedShot shot;
        shot.ballSpeed = 200.0;
        shot.launchAngle = 12.0;
        shot.backSpin = 3000.0;
        shot.sideSpin = 300.0;
        kyvern::sim::ShotSetup setup = kyvern::sim::ShotGenerator::SetupFor(
            shot, kyvern::sim::StrobeIntervalFor(shot.ballSpeed), width, {});
        if (full) setup.realism = kyvern::sim::Realism::Full();
        kyvern::sim::FrameRenderer renderer;
        if (!renderer.Render(setup, frame)) frame.width = 0;
    }
    return frame;
}

// A settings file of the benchmark's own saying how many threads the analysis may use.
class ThreadSettings {
public:
    explicit ThreadSettings(int threads) {
        char pattern[] = "/tmp/kyvern-bench-settings-XXXXXX";
        const int fd = ::mkstemp(pattern);
        if (fd < 0) return;
        path_ = pattern;
        char text[64];
        const int n = std::snprintf(text, sizeof text, "[Setup]\nAnalysisThreads=%d\n", threads);
        const bool written = ::write(fd, text, std::size_t(n)) == n;
        ::close(fd);
        if (!written) path_.clear();
    }
    ThreadSettings(const ThreadSettings&) = delete;
    ThreadSettings& operator=(const ThreadSettings&) = delete;
    ~ThreadSettings() {
        if (!path_.empty()) ::unlink(path_.c_str());
    }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// Arguments: frame width, the widest vector lanes the analysis may use (8: all this processor
// has, 4: AVX2 only, 1: none), its threads (1 or 2), whether it refines (1) and whether the frame
// is drawn as a real camera sees it (1). The CPU time is the whole process's.
void BM_RunAnalysisRendered(benchmark::State& state) {
    CapturedImage& frame = RenderedFrame(int(state.range(0)), state.range(4) != 0);
    if (frame.width == 0) {
        state.SkipWithError("render failed");
        return;
    }
    const ThreadSettings settings(int(state.range(2)));
    if (settings.Path().empty()) {
        state.SkipWithError("no settings file");
        return;
    }
    AnalysisPipeline pipeline(1.685, kyvern::analysis::ReadAnalysisOptions(
                                         kyvern::base::SettingsSnapshot::Read(settings.Path())));
    pipeline.PinPrecision(state.range(3) ? kyvern::analysis::Precision::kRefined
                                         : kyvern::analysis::Precision::kStandard);
    pipeline.RunAnalysis(frame);
    pipeline.Analyzer()->LimitLanes(int(state.range(1)));
    pipeline.RunAnalysis(frame);
    const double ownStart = ThreadCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        benchmark::DoNotOptimize(pipeline.RunAnalysis(frame));
    }
    const std::chrono::duration<double> taken = std::chrono::steady_clock::now() - start;
    state.counters["main_cpu_ms"] = (ThreadCpuSeconds() - ownStart) * 1e3 /
                                    double(std::max<std::int64_t>(state.iterations(), 1));
    ReportPassRatio(state, frame, taken.count());
}
BENCHMARK(BM_RunAnalysisRendered)
    ->ArgsProduct({{640, 1024}, {8, 4}, {1, 2}, {0, 1}, {0}})
    ->ArgsProduct({{640, 1024}, {8}, {1, 2}, {0, 1}, {1}})
    ->ArgNames({"width", "lanes", "threads", "refined", "full"})
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

// The pipeline's steps, as benchmark arguments.
using kyvern::analysis::AnalysisStep;
constexpr int kPixelStats = int(AnalysisStep::kPixelStats);
constexpr int kFindDiscs = int(AnalysisStep::kFindDiscs);
constexpr int kRefineDiscEdges = int(AnalysisStep::kRefineDiscEdges);
constexpr int kRefineBallEdges = int(AnalysisStep::kRefineBallEdges);
constexpr int kFindMarks = int(AnalysisStep::kFindMarks);
constexpr int kGroupMarks = int(AnalysisStep::kGroupMarks);
constexpr int kFindPlane = int(AnalysisStep::kFindPlane);
constexpr int kProcessScene = int(AnalysisStep::kProcessScene);

void RunStep(ImageAnalyzer& a, int step) {
    switch (step) {
        case kPixelStats:
            a.PixelStats();
            break;
        case kFindDiscs:
            a.FindDiscs();
            break;
        case kRefineDiscEdges:
            a.RefineBothDiscEdges();
            break;
        case kRefineBallEdges:
            a.RefineBothBallEdges();
            break;
        case kFindMarks:
            a.FindBothMarks();
            break;
        case kGroupMarks:
            a.GroupMarks(0);
            a.GroupMarks(1);
            break;
        case kFindPlane:
            a.FindBothPlanes();
            break;
        case kProcessScene:
            a.ProcessScene();
            break;
        default:  // the contrast stretch is off in the pipeline's runs measured here
            break;
    }
}

// Each step on a rendered frame, timed alone: the steps before it run untimed on the same
// frame in every iteration.
void BM_Step(benchmark::State& state) {
    const CapturedImage& frame = RenderedFrame(int(state.range(0)), false);
    const int step = int(state.range(1));
    static ImageAnalyzer analyzer(1.685);
    analyzer.LimitLanes(int(state.range(2)));
    analyzer.SetThreads(int(state.range(3)));
    double total = 0.0;
    double cpu = 0.0;
    double own = 0.0;
    for (auto _ : state) {
        analyzer.SetFrame(frame.Pixels(), frame.width, frame.height);
        for (int s = 0; s < step; ++s)
            RunStep(analyzer, s);
        const double cpuStart = ProcessCpuSeconds();
        const double ownStart = ThreadCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        RunStep(analyzer, step);
        const std::chrono::duration<double> taken = std::chrono::steady_clock::now() - start;
        cpu += ProcessCpuSeconds() - cpuStart;
        own += ThreadCpuSeconds() - ownStart;
        state.SetIterationTime(taken.count());
        total += taken.count();
    }
    // The machine may be shared: the step's CPU time (both threads, and the calling thread's
    // alone) beside its wall time.
    state.counters["cpu_ms"] = cpu * 1e3 / double(state.iterations());
    state.counters["main_cpu_ms"] = own * 1e3 / double(state.iterations());
    ReportPassRatio(state, frame, total);
}
BENCHMARK(BM_Step)
    ->ArgsProduct({{640, 1024},
                   {kPixelStats, kFindDiscs, kRefineDiscEdges, kRefineBallEdges, kFindMarks,
                    kGroupMarks, kFindPlane, kProcessScene},
                   {8, 4},
                   {1, 2}})
    ->ArgNames({"width", "step", "lanes", "threads"})
    ->UseManualTime()
    ->Iterations(40)  // the untimed steps before the timed one would otherwise dominate
    ->Unit(benchmark::kMillisecond);

// Our ball finding: the disc search and both edge refinements, after the pixel statistics they
// need. Where OpenCV is present, x_hough is its time as a multiple of the circle finder's.
double BallFindingSeconds(const CapturedImage& frame, ImageAnalyzer& analyzer) {
    analyzer.SetFrame(frame.Pixels(), frame.width, frame.height);
    RunStep(analyzer, kPixelStats);
    const auto start = std::chrono::steady_clock::now();
    RunStep(analyzer, kFindDiscs);
    RunStep(analyzer, kRefineDiscEdges);
    RunStep(analyzer, kRefineBallEdges);
    const std::chrono::duration<double> taken = std::chrono::steady_clock::now() - start;
    return taken.count();
}

#ifdef KYVERN_HAVE_OPENCV
// The circles OpenCV's Hough transform finds in the frame, with radii that cover the balls of
// both frame widths at 12 to 24 in, on as many threads as ours is given (OpenCV would take
// every core); the time of the best of a few runs.
double HoughSeconds(const CapturedImage& frame, int threads, std::size_t& found) {
    cv::setNumThreads(threads);
    const cv::Mat image(frame.height, frame.width, CV_8UC1,
                        const_cast<std::uint8_t*>(frame.Pixels()));
    const int minRadius = frame.width / 20;
    const int maxRadius = frame.width / 5;
    double best = 1e9;
    for (int run = 0; run < 10; ++run) {
        std::vector<cv::Vec3f> circles;
        const auto start = std::chrono::steady_clock::now();
        cv::HoughCircles(image, circles, cv::HOUGH_GRADIENT, 1.0, 1.6 * minRadius, 100.0, 30.0,
                         minRadius, maxRadius);
        const std::chrono::duration<double> taken = std::chrono::steady_clock::now() - start;
        best = std::min(best, taken.count());
        found = circles.size();
    }
    return best;
}

void BM_HoughCircles(benchmark::State& state) {
    const CapturedImage& frame = RenderedFrame(int(state.range(0)), false);
    std::size_t found = 0;
    double total = 0.0;
    for (auto _ : state) {
        const double taken = HoughSeconds(frame, int(state.range(1)), found);
        state.SetIterationTime(taken);
        total += taken;
    }
    state.counters["circles"] = double(found);
    ReportPassRatio(state, frame, total);
}
BENCHMARK(BM_HoughCircles)
    ->ArgsProduct({{640, 1024}, {1, 2}})
    ->ArgNames({"width", "threads"})
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);
#endif

void BM_BallFinding(benchmark::State& state) {
    const CapturedImage& frame = RenderedFrame(int(state.range(0)), false);
    static ImageAnalyzer analyzer(1.685);
    analyzer.LimitLanes(int(state.range(1)));
    analyzer.SetThreads(int(state.range(2)));
#ifdef KYVERN_HAVE_OPENCV
    // Before our runs: after them, OpenCV's first calls in the benchmark took twice as long.
    std::size_t found = 0;
    const double hough = HoughSeconds(frame, int(state.range(2)), found);
#endif
    double total = 0.0;
    double best = 1e9;
    for (auto _ : state) {
        const double taken = BallFindingSeconds(frame, analyzer);
        state.SetIterationTime(taken);
        total += taken;
        best = std::min(best, taken);
    }
    ReportPassRatio(state, frame, total);
#ifdef KYVERN_HAVE_OPENCV
    // Best against best: the least disturbed run of each.
    state.counters["x_hough"] = best / hough;
#endif
}
BENCHMARK(BM_BallFinding)
    ->ArgsProduct({{640, 1024}, {8, 4}, {1, 2}})
    ->ArgNames({"width", "lanes", "threads"})
    ->UseManualTime()
    ->Iterations(40)
    ->Unit(benchmark::kMillisecond);

void BM_SetFrame(benchmark::State& state) {
    const CapturedImage& frame = Frame(int(state.range(0)));
    ImageAnalyzer a(1.68);
    for (auto _ : state)
        a.SetFrame(frame.Pixels(), frame.width, frame.height);
}
BENCHMARK(BM_SetFrame)->Arg(640)->Arg(1024)->Unit(benchmark::kMicrosecond);

}  // namespace
