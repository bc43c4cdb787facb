// The order in which each stage of a shot reaches its publishers: other programs rely on the
// status file being locked before a new frame is announced, written before a shot is, and
// unlocked only after a failure is.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/shot_publisher.h"
#include "support/recording_prompts.h"
#include "support/temp_home.h"

namespace app = kyvern::app;

namespace {

class Recorder final : public app::ShotPublisher {
public:
    Recorder(std::string name, std::string& log) : name_(std::move(name)), log_(log) {}
    void ShotBegun(app::ShotOrigin) override { log_ += name_ + " "; }
    void ShotFinished(const app::PublishedShot&) override { log_ += name_ + " "; }
    void ShotFailed(const app::FailedShot&) override { log_ += name_ + " "; }
    void Stop(bool) override { log_ += name_ + " "; }

private:
    std::string name_;
    std::string& log_;
};

}  // namespace

TEST(ShotPublishers, EachStageReachesThePublishersInItsOrder) {
    kyvern::testing::TempHome env;
    kyvern::testing::RecordingPrompts prompts;
    std::string log;
    app::ShotPublishers publishers(std::make_unique<Recorder>("status", log));
    for (const char* name : {"table", "video", "serial", "notify", "router", "added"})
        publishers.Add(std::make_unique<Recorder>(name, log));

    const kyvern::shot::ShotRecord shot;
    const kyvern::links::ClubSensor sensor(prompts);
    const kyvern::flight::FlightModel flight;
    const app::PublishedShot finished{shot, sensor, flight, flight, 0.0, {}, true};
    // Each stage in turn, "|" between them.
    publishers.ShotBegun(app::ShotOrigin::kCamera);
    log += "| ";
    publishers.ShotFinished(finished);
    log += "| ";
    publishers.ShotFailed({"Item", 1});
    log += "| ";
    publishers.Stop(true);
    EXPECT_EQ(log,
              "status table video serial notify router added | "
              "status table video serial notify router added | "
              "table video serial notify router added status | "
              "status table video serial notify router added ");
}
