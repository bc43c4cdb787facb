#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "frame/captured_image.h"
#include "frame/xyz.h"

namespace kyvern::analysis {

inline constexpr int kFramePixelCapacity =
    frame::kMaxFrameWidth * frame::kMaxFrameHeight;  // 786,432
inline constexpr int kMaxDiscCandidates = 50;
inline constexpr int kMaxProfiles = 360;
inline constexpr int kMaxProfileSamples = 1000;
inline constexpr int kMaxEdgePoints = 50000;
inline constexpr int kMaxCircleCandidates = 200000;
inline constexpr int kMaxGroups = 200;
inline constexpr int kMaxAxisCandidates = 500000;

// Area of both ball images (4800 pi) and of the white core (1200 pi), in pixels.
inline constexpr double kBallCoreArea = 15079.644737230992;
inline constexpr double kWhiteCoreArea = 3769.911184307748;

// One sample of a ray from the coarse ball centre.
struct ProfileSample {
    double radius = 0.0;  // pixels from the centre along the ray
    std::int32_t index = 0;
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::uint8_t value = 0;
    std::uint8_t bright = 0;  // 10 when the value is above the background level, else 0
};

struct RadialProfile {
    double angle = 0.0;  // radians
    std::array<ProfileSample, kMaxProfileSamples> samples;
    std::int32_t sampleCount = 0;
    std::int32_t coarseEdge = 0;   // 0: none
    std::int32_t refinedEdge = 0;  // 0: none
    std::int32_t windowFirst = 0;
    std::int32_t windowEnd = 0;
    std::int32_t edgeQuality = 0;

    void Clear();
};

// A connected set of spin marks.
struct MarkGroup {
    std::int32_t number = 0;
    std::int32_t count = 0;
};

// One of the two ball images of a frame, with everything the analysis learnt of it.
struct BallImage {
    explicit BallImage(int ballNumber);
    BallImage(const BallImage&) = delete;
    BallImage& operator=(const BallImage&) = delete;
    void Reset();

    int number;
    bool found = false;
    double centreX = 0.0;
    double centreY = 0.0;
    frame::Xyz pix;  // final centre x, centre y and diameter
    double diameterEstimate = 0.0;
    double diameter = 0.0;
    bool edgesRefined = false;
    std::int32_t edgeQuality = 0;
    std::int32_t lum = 0;
    std::unique_ptr<RadialProfile[]> profiles;  // kMaxProfiles
    std::int32_t profileCount = 0;
    frame::Xyz location;  // inches, camera frame
    bool locationValid = false;
    frame::Xyz planeNormal;
    frame::Xyz viewNormal;
    bool planeFound = false;
    std::unique_ptr<frame::SpinMark[]> marks;  // kMaxMarks
    std::int32_t markCount = 0;
    std::unique_ptr<MarkGroup[]> groups;  // kMaxGroups
    std::int32_t groupCount = 0;
    // What CheckBalls saw: the share of the edges found that lie on the fitted circle, and
    // the share of a ring just outside it that is lit.
    double edgeFit = 0.0;
    double ringLit = 0.0;
    // The share of the outline its size was read on: the rim's rays kept, or the profiles
    // that found an edge.
    double outlineSeen = 0.0;
    // The share of the line's points that lie on the plane found for it (MeasurePlanes).
    double onPlane = 0.0;
    bool rimRefined = false;  // RefineRims fitted the circle to the half-contrast rim
};

struct EdgePoint {
    std::int32_t x = -1;
    std::int32_t y = -1;
    bool Live() const { return !(x == -1 && y == -1); }
};

// The circle fit's candidates, field by field, so that four of them are one load a field.
struct CircleList {
    double* x;
    double* y;
    double* d;
};

struct DiscCandidate {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t size = 0;
    std::int32_t score = 0;
};

class StepWorker;

// The working lists of the steps that may run for both balls at once, one set for each: the
// edge points and circle candidates of the edge refinements and the plane candidates of the
// plane search, with the error or warning a step ends with.
struct StepScratch {
    static constexpr int kFarTableSide = 1024;
    static constexpr int kPlaneCellTables = 4 * 101 * 101;  // four tables of 101 x 101 bins
    static constexpr int kMaxDiscRows = 4096;
    static constexpr int kMaxDiscSizes = 16;
    StepScratch();

    // The disc search over a share of the grid's columns: the template rows of the size at
    // hand, and the share's first candidates with how many each size gave.
    std::array<std::int32_t, kMaxDiscRows> discRows{};
    std::array<DiscCandidate, kMaxDiscCandidates> discs{};
    int discCount = 0;
    std::array<int, kMaxDiscSizes> discsPerSize{};

    std::unique_ptr<EdgePoint[]> edgePoints;
    int edgePointCount = 0;
    std::unique_ptr<EdgePoint[]> livePoints;   // of the circle fit
    std::unique_ptr<std::uint8_t[]> farTable;  // pairs of live points more than 20 apart
    std::unique_ptr<double[]> liveX;           // live points as doubles, kFarTableSide
    std::unique_ptr<double[]> liveY;
    // The circle fit's candidates by field, kMaxCircleCandidates and room for a block of four.
    std::unique_ptr<double[]> circleX;
    std::unique_ptr<double[]> circleY;
    std::unique_ptr<double[]> circleD;
    CircleList Circles() const { return {circleX.get(), circleY.get(), circleD.get()}; }
    int circleCandidateCount = 0;
    bool circlesCleared = false;  // a fit cleared the list since the flag
    std::unique_ptr<frame::Xyz[]> axisCandidates;
    int axisCandidateCount = 0;
    std::unique_ptr<std::uint64_t[]> pairRecords;  // plane candidates as marks and bins
    std::unique_ptr<std::int32_t[]> planeCells;    // their counts by first and second bin
    std::unique_ptr<double[]> markX;               // mark points of one ball by component
    std::unique_ptr<double[]> markY;
    std::unique_ptr<double[]> markZ;
    std::int32_t error = 0;
    std::int32_t warning = 0;
};

// How closely the analysis measures. Standard is the established algorithm; Refined also
// corrects each diameter for the perspective stretch of a ball off the optical axis and
// refines each plane normal from every pair normal near the mode's.
enum class Precision { kStandard, kRefined };

// The working state of the analysis of one frame. Every buffer is allocated here, once; no
// step allocates. The steps run in the order the pipeline gives and each refuses to run
// without a loaded frame.
class ImageAnalyzer {
public:
    // ballDiameterInches: diameter of the configured ball type.
    explicit ImageAnalyzer(double ballDiameterInches);
    ImageAnalyzer(const ImageAnalyzer&) = delete;
    ImageAnalyzer& operator=(const ImageAnalyzer&) = delete;
    ~ImageAnalyzer();

    // Starts the analysis of one frame. A frame larger than the working buffer (or with a
    // negative size) is refused and leaves no frame loaded.
    bool SetFrame(const std::uint8_t* pixels, int width, int height);
    bool PixelStats();
    bool PreprocessImage();
    bool GetHistogram(std::array<std::uint32_t, 256>& histogram, std::uint8_t& backgroundLevel,
                      std::uint8_t& meanLevel) const;

    // Ball finding.
    int DiscScore(int& x, int& y, int size) const;
    bool FindDiscs();
    // FindDiscs on the frame with the ground from groundRow down hidden, the rest of the
    // analysis on the frame as it was: a mat brighter than the scene fills the disc template
    // as a ball would, while the balls' edges against it are still theirs.
    bool FindDiscsAboveGround(int groundRow);
    bool RefineDiscEdges(int ball);
    bool RefineBallEdges(int ball);
    // Both balls, ball 0 first, stopping at the first failure as two calls would; on the
    // second thread's share when there is one, with the same results.
    bool RefineBothDiscEdges();
    bool RefineBothBallEdges();
    // In the refined precision, each refined ball's circle fitted again to its rim at half the
    // contrast between its face and the scene; a rim that gives no sound circle leaves it.
    // smeared: the ball may have moved far enough during its flash to smear its edges.
    // In the standard precision only when the flashes lit the two images unequally, and then
    // for the ratio of their sizes alone.
    void RefineRims(bool smeared);
    // Both images lit well above the scene, but one of them much more than the other: their
    // threshold edges then lie at different depths into their outlines.
    bool FlashesUnequal() const;
    // The light below which a ball is too little above the scene for its edges to tell its depth.
    int LowContrastLevel() const { return (3 * backgroundLevel_) / 2; }
    static constexpr int kUnequalLum = 40;  // levels between the two images' light
    // The dimmer image's light over the brighter's below which the confidence doubts the depth.
    static constexpr double kUnequalShare = 0.90;
    void AddEdgePoint(int x, int y);
    void ClearEdgePoints() { Shown().edgePointCount = 0; }
    bool FitCircle(double priorX, double priorY, double priorDiameter, double& centreX,
                   double& centreY, double& diameter);
    // False when the three points are collinear.
    static bool CircleThroughPoints(int x1, int y1, int x2, int y2, int x3, int y3, double& centreX,
                                    double& centreY, double& diameter);
    // Index of the first 20-sample window with fewer than four bright samples; 0 for none.
    static int CoarseEdge(const RadialProfile& profile);
    // Searches the refined edge from the coarse edge and stores index, window and quality.
    static bool RefinedEdge(RadialProfile& profile, int backgroundLevel);

    // Spin marks and plane.
    bool FindMarks(int ball);
    // FindMarks(0) then FindMarks(1), the two on both threads when there are two.
    void FindBothMarks();
    bool GroupMarks(int ball);
    bool FindPlane(int ball);
    // FindPlane(0) then FindPlane(1), the two on both threads when there are two.
    void FindBothPlanes();

    // Whether the two refined images look like balls, for a scene that holds more than balls:
    // fills each ball's edgeFit and ringLit. True when both pass.
    bool CheckBalls();
    static constexpr double kMinEdgeFit = 0.80;  // share of the edges found on the circle
    static constexpr double kMaxRingLit = 0.35;  // share of the ring outside that may be lit
    // Fills each ball's onPlane, from the plane as FindPlane left it, before the scene turns it.
    void MeasurePlanes();
    // The first row of the bright ground (a mat) that fills the bottom of the frame from side
    // to side, or the frame's height where there is none.
    int GroundRow() const;
    // Paints the analyzer's copy of the frame with the scene's dark level where the ground is,
    // from this row down, and within radius pixels of a point where the pixels are lit and
    // connected to it, so that a second search does not find them again. Edges on the ground
    // are left out of the circle fits. The caller's frame is untouched.
    void HideGround(int firstRow);
    void HideLitRegion(double x, double y, double radius);
    // The first row of a mat the first look searched above and left in view, or the height.
    int MatRow() const { return matRow_; }

    // Scene.
    bool ProcessScene();
    bool GetBallData(int ball, frame::BallRecord& record) const;

    // Error code and warnings.
    std::int32_t ErrorCode() const { return errorCode_; }
    void SetErrorCode(std::int32_t code) { errorCode_ = code; }
    void AddWarning(std::int32_t code);
    std::int32_t WarningCount() const { return warningCount_; }
    std::int32_t Warning(int i) const { return warnings_[i]; }
    void BeginWarnings() { warningCursor_ = warningCount_; }
    // Text of the warning before the cursor (newest first), or an empty text at the start.
    const char* NextWarningText();

    // Read by FindPlane and ProcessScene; Standard until set.
    void SetPrecision(Precision precision) { precision_ = precision; }
    Precision GetPrecision() const { return precision_; }

    // Fast paths give the same results as the plain loops; tests switch them off to compare.
    void UseFastSteps(bool on) { fastSteps_ = on; }
    // The widest vector lanes the fast paths of this analyzer may use (8, 4 or 1; never more
    // than the processor has); tests lower it to compare the narrower paths too.
    void LimitLanes(int lanes) { laneLimit_ = lanes; }
    // 2: the steps that work on the two balls apart run ball 0's share on a second thread,
    // started here once, when the machine has a second core; 1 (the start): one thread.
    void SetThreads(int threads);
    int Threads() const;

    bool FrameLoaded() const { return frameLoaded_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    const std::uint8_t* Frame() const { return frame_.get(); }
    const std::array<std::uint32_t, 256>& Histogram() const { return histogram_; }
    std::uint8_t MeanLevel() const { return meanLevel_; }
    std::uint8_t BackgroundLevel() const { return backgroundLevel_; }
    std::uint8_t BlackLevel() const { return blackLevel_; }
    std::uint8_t WhiteLevel() const { return whiteLevel_; }
    void SetBackgroundLevel(std::uint8_t level) { backgroundLevel_ = level; }
    double pixelsPerInch() const { return pixelsPerInch_; }
    double BallDiameterInches() const { return ballDiameterInches_; }
    BallImage& Ball(int ball) { return ball == 0 ? ball0_ : ball1_; }
    const BallImage& Ball(int ball) const { return ball == 0 ? ball0_ : ball1_; }
    int DiscCandidateCount() const { return discCandidateCount_; }
    const DiscCandidate& Candidate(int i) const { return discCandidates_[i]; }
    // The lists of the last step, as one thread running the steps in order would leave them.
    int EdgePointCount() const { return Shown().edgePointCount; }  // slots in use, deleted too
    const EdgePoint& EdgePointAt(int i) const { return Shown().edgePoints[i]; }
    int LiveEdgePointCount() const;
    int CircleCandidateCount() const { return Shown().circleCandidateCount; }
    int AxisCandidateCount() const { return Shown().axisCandidateCount; }

private:
    void RebuildHistogram();
    // Adds the levels of count pixels to four tables, pixel i to table i % 4.
    static void CountLevels(const std::uint8_t* pixels, int count, std::uint32_t (&counts)[4][256]);
    bool GroupMarksByGrid(BallImage& ball);
    StepScratch& Shown() { return *scratch_[shown_]; }
    const StepScratch& Shown() const { return *scratch_[shown_]; }
    void AddEdgePointTo(StepScratch& s, int x, int y) const;
    bool FitCircleWith(StepScratch& s, double priorDiameter, double& centreX, double& centreY,
                       double& diameter) const;
    bool FitEdgesTwice(StepScratch& s, BallImage& ball, double priorDiameter, double& diameter,
                       std::int32_t firstError, std::int32_t secondError) const;
    bool RefineDiscEdgesWith(StepScratch& s, BallImage& ball) const;
    bool RefineBallEdgesWith(StepScratch& s, BallImage& ball) const;
    // The circle (centre x, y and diameter) through the ball's half-contrast rim, each ray's
    // point moved out by smearShift x |cos| of its angle to the flight (ux, uy).
    struct RimRamps;
    bool RefineRim(const BallImage& ball, double ux, double uy, double smearShift, frame::Xyz& rim,
                   RimRamps& ramps) const;
    static double RampStretch(const RimRamps& ramps);
    // The median level of one row of the analyzer's frame.
    int RowMedian(int row) const;
    // The ground's rows from firstRow down, kept before HideGround paints them and put back
    // after, with the levels and the edges' floor as they were.
    void KeepGround(int firstRow);
    void RestoreGround(int firstRow);
    // The frame's level at a point between pixels, bilinear; -1 outside the frame.
    double Sample(double x, double y) const;
    // One ball's refinement on the shown lists; its error, if any, becomes the frame's.
    bool RefineOne(int ball, bool (ImageAnalyzer::*refine)(StepScratch&, BallImage&) const);
    bool FindPlaneWith(StepScratch& s, BallImage& ball) const;
    // Runs step(second scratch, ball 0) on the worker and step(shown scratch, ball 1) here.
    using ShareStep = bool (*)(void* context, StepScratch& s, int ball);
    void RunShares(ShareStep step, void* context, bool results[2]);
    template <typename Step>
    void RunBoth(Step& step, bool results[2]) {
        RunShares([](void* context, StepScratch& s,
                     int ball) { return (*static_cast<Step*>(context))(s, ball); },
                  &step, results);
    }
    template <typename Step>
    bool RefineBoth(Step step, bool (ImageAnalyzer::*single)(int));
    // What the edge refinements change in a ball, kept to put back.
    struct EdgeKeep {
        double centreX = 0.0;
        double centreY = 0.0;
        frame::Xyz pix;
        double diameterEstimate = 0.0;
        double diameter = 0.0;
        bool edgesRefined = false;
        std::int32_t edgeQuality = 0;
        std::int32_t lum = 0;
        std::array<std::array<std::int32_t, 5>, kMaxProfiles> profiles{};
    };
    void KeepEdges(const BallImage& ball);
    void RestoreEdges(BallImage& ball) const;
    void SampleProfiles(BallImage& ball);
    // rows: the template rows PrepareDiscRows made for this size, or null.
    int DiscScoreFast(int& x, int& y, int size, const std::int32_t* rows) const;
    void BuildDiscSums(int first, int end);
    void BuildAllDiscSums();
    // The running sums at a linear index, of its parity, from the frame's first pixel.
    std::int32_t BrightCount(std::int64_t index) const {
        return brightEvery2_[index] + (index >= discSumsMiddle_ ? discCarry_[index & 1].count : 0);
    }
    std::uint32_t BrightIndexSum(std::int64_t index) const {
        return brightIndexEvery2_[index] +
               (index >= discSumsMiddle_ ? discCarry_[index & 1].indexSum : 0u);
    }
    static bool PrepareDiscRows(int size, std::int32_t* rows);
    struct DiscGrid {
        int firstSize, lastSize, sizeStep;  // sizes from first down while above last
        int firstColumn, rowStart, rowEnd, step;
    };
    void ScanDiscs(StepScratch& s, const DiscGrid& grid, int firstColumn, int endColumn) const;
    void BuildRowSums();
    int WindowMeanPlain(int row, int column) const;
    int WindowMeanFast(int row, int column) const;
    // Summed-area table around one ball for the mark search: entry (r, c) is the sum of the
    // pixels above and left of (firstRow + r, firstColumn + c), for windows inside rows
    // firstRow .. lastRow and columns firstColumn .. lastColumn.
    struct WindowSums {
        const std::int32_t* table = nullptr;  // null: none
        int firstRow = 0;
        int lastRow = -1;
        int firstColumn = 0;
        int lastColumn = -1;
        bool clipped = false;  // by the frame's edges: some windows lie outside
        bool Empty() const { return lastRow < firstRow || lastColumn < firstColumn; }
        std::int64_t Size() const {
            return std::int64_t(lastRow - firstRow + 2) * (lastColumn - firstColumn + 2);
        }
    };
    // The table a ball's mark search needs (its windows, within the frame), still unbuilt.
    WindowSums MarkWindows(const BallImage& ball) const;
    void BuildWindowSums(WindowSums& sums, std::int32_t* table) const;
    int WindowMeanTable(const WindowSums& sums, int row, int column) const;
    // Whether a ball's search would read the running gray sums: windows without a table.
    bool NeedsRowSums(const WindowSums& sums, std::int64_t capacity) const;
    // sums: MarkWindows(ball), built into table here when it fits capacity.
    bool FindMarksWith(BallImage& ball, WindowSums sums, std::int32_t* table,
                       std::int64_t capacity) const;
    void RecordPairs(StepScratch& s, const BallImage& ball) const;
    frame::Xyz RefinedNormal(StepScratch& s, const BallImage& ball,
                             const frame::Xyz& modeNormal) const;
    static void DiscardFarEdgePoints(StepScratch& s, double centreX, double centreY, double radius);

    std::unique_ptr<std::uint8_t[]> frame_;
    std::array<std::uint32_t, 256> histogram_{};
    std::uint8_t meanLevel_ = 0;
    std::uint8_t backgroundLevel_ = 0;
    std::uint8_t blackLevel_ = 0;
    std::uint8_t whiteLevel_ = 0;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    bool frameLoaded_ = false;
    bool fastSteps_ = true;
    int laneLimit_ = 8;

    std::unique_ptr<DiscCandidate[]> discCandidates_;
    int discCandidateCount_ = 0;
    // The first set serves one thread; the second is made with the worker. shown_ is the set
    // the last step left its lists in.
    std::array<std::unique_ptr<StepScratch>, 2> scratch_;
    int shown_ = 0;
    std::unique_ptr<StepWorker> worker_;
    EdgeKeep kept_;
    std::unique_ptr<std::int32_t[]> markGrid_;   // frame-sized mark index, -1 between uses
    std::unique_ptr<std::int32_t[]> markQueue_;  // kMaxMarks
    int edgeFloor_ = 0;  // edge points below this row are not fitted; the height unless hidden
    std::unique_ptr<std::int32_t[]> hideQueue_;  // kFramePixelCapacity, at the first hiding
    // The ground's rows as they were while the coarse search ran without them; kFramePixelCapacity,
    // at the first use.
    std::unique_ptr<std::uint8_t[]> groundRows_;
    // The first row of a mat left in view (the height when none): the ring check tells a ball's
    // neighbour from the mat there, by each row's median as the hiding read it.
    int matRow_ = 0;
    std::array<std::uint8_t, frame::kMaxFrameHeight> groundMedians_{};

    // Running sums over the linear pixel index: bright counts and bright index sums along
    // every second index (disc search), and gray sums (local mean of the mark search).
    std::unique_ptr<std::int32_t[]> brightEvery2_;
    std::unique_ptr<std::uint32_t[]> brightIndexEvery2_;
    // Where the second half's sums start from zero (the frame's size when they do not), and
    // what each parity's entries from there on lack.
    std::int64_t discSumsMiddle_ = 0;
    struct DiscCarry {
        std::int32_t count = 0;
        std::uint32_t indexSum = 0;
    };
    std::array<DiscCarry, 2> discCarry_{};
    std::unique_ptr<std::int64_t[]> graySums_;  // graySums_[i] = sum of pixels before i
    bool graySumsReady_ = false;
    // The summed-area tables of the mark search, one ball's or both balls' one after the other.
    static constexpr int kWindowTableSize =
        (frame::kMaxFrameWidth + 2) * (frame::kMaxFrameHeight + 2);
    std::unique_ptr<std::int32_t[]> windowTable_;

    double pixelsPerInch_ = 0.0;
    double ballDiameterInches_;
    Precision precision_ = Precision::kStandard;
    std::int32_t errorCode_ = 0;
    std::array<std::int32_t, frame::kMaxWarnings> warnings_{};
    std::int32_t warningCount_ = 0;
    std::int32_t warningCursor_ = 0;
    BallImage ball0_{0};
    BallImage ball1_{1};
};

}  // namespace kyvern::analysis
