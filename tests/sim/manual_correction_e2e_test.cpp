// A rendered shot whose first ball's line was misread, corrected by two clicks on the line
// where the renderer drew it.
#include <gtest/gtest.h>

#include <cmath>

#include "analysis/analysis_pipeline.h"
#include "analysis/launch_scene.h"
#include "analysis/manual_corrections.h"
#include "base/message_list.h"
#include "frame/camera_model.h"
#include "sim/frame_renderer.h"
#include "sim/rendered_shot.h"
#include "support/line_clicks.h"
#include "support/run_analysis.h"

using namespace kyvern;
using frame::CapturedImage;
using frame::Xyz;

namespace {

constexpr double kDeg = 0.017453292519943278;

struct Spin {
    double back, side;
};

class CorrectedShot : public kyvern::testing::RenderedShotTest {
protected:
    analysis::ManualCorrections corrections;

    static sim::ShotSetup Setup(int width, double back, double sideSpin) {
        return RenderedShotTest::Setup(width, 160, 14, 2, back, sideSpin,
                                       width == 1024 ? 17.0 : 15.0);
    }
};

}  // namespace

TEST_F(CorrectedShot, TwoLineClicksBringTheSpinBack) {
    struct Case {
        int width;
        double back;
        double side;
        double shift;  // inches across the view: both balls off the lens's axis, wholly in view
    };
    for (const Case c :
         {Case{640, 3000, 0, 0}, Case{640, 6000, 800, 0}, Case{640, 4500, -400, -0.8},
          Case{1024, 4000, -600, 0}, Case{1024, 2500, 300, 0}, Case{1024, 3500, 500, 1.2}}) {
        SCOPED_TRACE(::testing::Message()
                     << "width " << c.width << " back " << c.back << " side " << c.side);
        sim::ShotSetup setup = Setup(c.width, c.back, c.side);
        setup.ball0.x += c.shift;
        ASSERT_TRUE(renderer.Render(setup, *frame));
        const sim::ShotTruth truth = renderer.Truth();
        frame->analyzed = kyvern::testing::RunAndPrint(pipeline, *frame, messages);
        ASSERT_TRUE(frame->analyzed);
        scene.SetSlot(0, *frame);
        ASSERT_TRUE(scene.SolveLaunch());
        const Spin analysed{scene.BackSpin(), scene.SideSpin()};
        EXPECT_NEAR(analysed.back, c.back, 0.05 * c.back);

        // Spoil ball 0's line: its normal turned 40 degrees about the camera's axis.
        frame::BallRecord& ball0 = scene.Slot(0).result.balls[0];
        Xyz& n = ball0.viewNormal;
        n.Set(std::cos(40 * kDeg) * n.x - std::sin(40 * kDeg) * n.y,
              std::sin(40 * kDeg) * n.x + std::cos(40 * kDeg) * n.y, n.z);
        ball0.planeNormal = n;
        scene.AlignNormals(0);
        ASSERT_TRUE(scene.SolveLaunch());
        EXPECT_GT(std::hypot(scene.BackSpin() - c.back, scene.SideSpin() - c.side), 2000.0);

        // The operator clicks twice on the line where it really is.
        const auto [first, second] = kyvern::testing::LineClicks(
            truth.ball0, truth.normal0, setup.ballDiameter, c.width, setup.height);
        EXPECT_FALSE(corrections.MarkLinePoint(scene, 0, first.x, first.y, frame.get()));
        ASSERT_TRUE(corrections.MarkLinePoint(scene, 0, second.x, second.y, frame.get()));
        const Spin corrected{scene.BackSpin(), scene.SideSpin()};
        EXPECT_NEAR(corrected.back, c.back, 0.05 * c.back);
        EXPECT_NEAR(corrected.side, c.side, 300.0);
        // Clicked where the analysis found the line, the correction gives what the analysis
        // gave: the corrected ball is turned into the camera frame as the other one was.
        EXPECT_NEAR(corrected.back, analysed.back, 0.02 * c.back);
        EXPECT_NEAR(corrected.side, analysed.side, 200.0);
        // The shown frame got the corrected records.
        EXPECT_EQ(frame->result.balls[0].viewNormal, ball0.viewNormal);
    }
}
