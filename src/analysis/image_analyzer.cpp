#include "analysis/image_analyzer.h"
#include "frame/simd.h"

#include <algorithm>
#include <cstring>
#include <thread>

#include "analysis/analysis_codes.h"
#include "analysis/step_worker.h"

namespace kyvern::analysis {

void RadialProfile::Clear() {
    angle = 0.0;
    sampleCount = 0;
    coarseEdge = 0;
    refinedEdge = 0;
    windowFirst = 0;
    windowEnd = 0;
    edgeQuality = 0;
}

BallImage::BallImage(int ballNumber)
    : number(ballNumber),
      profiles(new RadialProfile[kMaxProfiles]),
      marks(new frame::SpinMark[frame::kMaxMarks]),
      groups(new MarkGroup[kMaxGroups]) {}

void BallImage::Reset() {
    found = false;
    centreX = 0.0;
    centreY = 0.0;
    pix.Zero();
    diameterEstimate = 0.0;
    diameter = 0.0;
    edgesRefined = false;
    edgeQuality = 0;
    lum = 0;
    profileCount = 0;
    edgeFit = 0.0;
    ringLit = 0.0;
    outlineSeen = 0.0;
    onPlane = 0.0;
    rimRefined = false;
    location.Zero();
    locationValid = false;
    planeNormal.Zero();
    viewNormal.Zero();
    planeFound = false;
    markCount = 0;
    groupCount = 0;
}

StepScratch::StepScratch()
    : edgePoints(new EdgePoint[kMaxEdgePoints]),
      livePoints(new EdgePoint[kMaxEdgePoints]),
      farTable(new std::uint8_t[kFarTableSide * kFarTableSide]),
      liveX(new double[kFarTableSide]),
      liveY(new double[kFarTableSide]),
      circleX(new double[kMaxCircleCandidates + 3]),
      circleY(new double[kMaxCircleCandidates + 3]),
      circleD(new double[kMaxCircleCandidates + 3]),
      axisCandidates(new frame::Xyz[kMaxAxisCandidates]),
      pairRecords(new std::uint64_t[kMaxAxisCandidates + 7]),
      planeCells(new std::int32_t[kPlaneCellTables]),
      markX(new double[frame::kMaxMarks]),
      markY(new double[frame::kMaxMarks]),
      markZ(new double[frame::kMaxMarks]) {}

ImageAnalyzer::ImageAnalyzer(double ballDiameterInches)
    : frame_(new std::uint8_t[kFramePixelCapacity]),
      discCandidates_(new DiscCandidate[kMaxDiscCandidates]),
      scratch_{std::make_unique<StepScratch>(), nullptr},
      markGrid_(new std::int32_t[kFramePixelCapacity]),
      markQueue_(new std::int32_t[frame::kMaxMarks]),
      brightEvery2_(new std::int32_t[kFramePixelCapacity]),
      brightIndexEvery2_(new std::uint32_t[kFramePixelCapacity]),
      graySums_(new std::int64_t[kFramePixelCapacity + 1]),
      windowTable_(new std::int32_t[kWindowTableSize]),
      ballDiameterInches_(ballDiameterInches) {
    std::fill_n(markGrid_.get(), kFramePixelCapacity, -1);
}

ImageAnalyzer::~ImageAnalyzer() = default;

bool ImageAnalyzer::SetFrame(const std::uint8_t* pixels, int width, int height) {
    histogram_.fill(0);
    errorCode_ = 0;
    warningCount_ = 0;
    warningCursor_ = 0;
    frameLoaded_ = false;
    graySumsReady_ = false;
    if (width < 0 || height < 0 || std::int64_t(width) * height > kFramePixelCapacity ||
        (pixels == nullptr && width > 0 && height > 0)) {
        return false;
    }
    width_ = width;
    height_ = height;
    edgeFloor_ = height;
    matRow_ = height;
    const int count = width * height;
    std::uint64_t sum = 0;
    // Four tables taking turns for each half of the frame: a dark frame is mostly one level,
    // and one table would make each count wait for the one before.
    std::uint32_t counts[2][4][256] = {};
    std::uint8_t* const frame = frame_.get();
    const bool apart = pixels == frame || pixels + count <= frame || frame + count <= pixels;
    if (worker_ && apart && count >= 4096) {
        // The worker copies and counts the first half, this thread the second.
        const int middle = count / 2;
        auto half = [&](StepScratch&, int part) {
            const int first = part == 0 ? 0 : middle;
            const int end = part == 0 ? middle : count;
            if (pixels != frame)
                std::memcpy(frame + first, pixels + first, std::size_t(end - first));
            CountLevels(pixels + first, end - first, counts[part]);
            return true;
        };
        bool done[2];
        RunBoth(half, done);
    } else {
        if (count > 0) std::memmove(frame, pixels, std::size_t(count));  // may be frame_ itself
        CountLevels(pixels, count, counts[0]);
    }
    for (int level = 0; level < 256; ++level) {
        std::uint32_t n = 0;
        for (const auto& tables : counts) {
            for (const auto& table : tables)
                n += table[level];
        }
        histogram_[level] = n;
        sum += std::uint64_t(n) * level;
    }
    if (count > 0) meanLevel_ = std::uint8_t(sum / std::uint64_t(count));
    ball0_.Reset();
    ball1_.Reset();
    for (const auto& scratch : scratch_) {
        if (!scratch) continue;
        scratch->edgePointCount = 0;
        scratch->circleCandidateCount = 0;
        scratch->axisCandidateCount = 0;
    }
    discCandidateCount_ = 0;
    pixelsPerInch_ = 0.0;
    frameLoaded_ = true;
    return true;
}

void ImageAnalyzer::AddWarning(std::int32_t code) {
    if (warningCount_ < frame::kMaxWarnings) warnings_[warningCount_++] = code;
}

const char* ImageAnalyzer::NextWarningText() {
    if (warningCursor_ <= 0) return "";
    --warningCursor_;
    return WarningText(warnings_[warningCursor_]);
}

bool ImageAnalyzer::GetBallData(int ball, frame::BallRecord& record) const {
    if (!frameLoaded_ || ball < 0 || ball > 1) return false;
    const BallImage& b = Ball(ball);
    if (!b.found) return false;
    record.pix = b.pix;
    record.loc = b.location;
    record.planeNormal = b.planeNormal;
    record.viewNormal = b.viewNormal;
    record.lum = b.lum;
    record.edgeFit = b.edgeFit;
    record.ringLit = b.ringLit;
    record.outlineSeen = b.outlineSeen;
    record.onPlane = b.onPlane;
    record.rimRefined = b.rimRefined;
    record.markCount = std::clamp(b.markCount, 0, frame::kMaxMarks);
    std::copy_n(b.marks.get(), record.markCount, record.marks.get());
    return true;
}

int ImageAnalyzer::LiveEdgePointCount() const {
    int live = 0;
    const StepScratch& s = Shown();
    for (int i = 0; i < s.edgePointCount; ++i)
        live += s.edgePoints[i].Live() ? 1 : 0;
    return live;
}

void ImageAnalyzer::SetThreads(int threads) {
    const bool two = threads >= 2 && StepWorker::UsableProcessors() >= 2;
    if (two == (worker_ != nullptr)) return;
    if (!two) {
        worker_.reset();
        return;
    }
    if (!scratch_[1]) scratch_[1] = std::make_unique<StepScratch>();
    worker_ = std::make_unique<StepWorker>();
}

int ImageAnalyzer::Threads() const { return worker_ ? 2 : 1; }

// Ball 0's share on the worker with the second lists, ball 1's here with the shown ones.
void ImageAnalyzer::RunShares(ShareStep step, void* context, bool results[2]) {
    struct Share {
        ShareStep step;
        void* context;
        StepScratch* scratch;
        bool result;
    } share{step, context, scratch_[1 - shown_].get(), false};
    worker_->Post(
        [](void* c) {
            Share& s = *static_cast<Share*>(c);
            s.result = s.step(s.context, *s.scratch, 0);
        },
        &share);
    results[1] = step(context, Shown(), 1);
    worker_->Finish();
    results[0] = share.result;
}

}  // namespace kyvern::analysis
