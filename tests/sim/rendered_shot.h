// A settings folder, a renderer and the analysis of one camera, for tests that render a
// strobed shot seen straight on and analyse it.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "analysis/analysis_pipeline.h"
#include "analysis/launch_scene.h"
#include "base/message_list.h"
#include "sim/frame_renderer.h"
#include "support/temp_dir.h"

namespace kyvern::testing {

class RenderedShotTest : public ::testing::Test {
protected:
    TempDir home;
    std::string ini = home.File("Kyvern.ini");
    std::unique_ptr<frame::CapturedImage> frame = std::make_unique<frame::CapturedImage>();
    sim::FrameRenderer renderer;
    analysis::AnalysisPipeline pipeline{
        1.685, analysis::ReadAnalysisOptions(base::SettingsSnapshot::Read(ini))};
    analysis::LaunchScene scene{1.685,
                                analysis::ReadSceneOptions(base::SettingsSnapshot::Read(ini))};
    base::TextMessageList messages;

    // A shot centred distance inches in front of the straight camera, flashes at 0.001 s and
    // after the strobe interval for its speed, the line across the spin.
    static sim::ShotSetup Setup(int width, double speed, double launch, double side, double back,
                                double sideSpin, double distance) {
        sim::ShotSetup s;
        s.width = width, s.height = width == 1024 ? 768 : 480;
        s.ballSpeed = speed, s.launchAngle = launch, s.sideAngle = side;
        s.backSpin = back, s.sideSpin = sideSpin;
        s.t1 = 0.001, s.t2 = 0.001 + sim::StrobeIntervalFor(speed);
        s.lineNormal = sim::NormalAcrossSpin(back, sideSpin, 0.0);
        s.ball0 = sim::CentredStart(s, distance);
        return s;
    }
};

}  // namespace kyvern::testing
