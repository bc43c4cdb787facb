// The headless shot cycle end to end on the simulated camera, with real peers listening.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "app_fixtures.h"
#include "base/config_store.h"
#include "base/program_folder.h"
#include "capture/image_file.h"
#include "flight/flight_model.h"
#include "links/notification_slot.h"
#include "links/router_packet.h"
#include "links/serial_shot_output.h"

using kyvern::base::ConfigStore;
using kyvern::testing::MonitorRig;
using kyvern::testing::PeerSocket;
using kyvern::testing::PseudoTerminal;
using Bytes = std::vector<unsigned char>;
namespace app = kyvern::app;
namespace links = kyvern::links;

namespace {

std::string Utf16(const char* text) { return links::Utf16LittleEndian(text); }
std::string AsText(const Bytes& b) { return std::string(b.begin(), b.end()); }

std::uint32_t At32(const Bytes& b, std::size_t offset) {
    return b[offset] | (b[offset + 1] << 8) | (b[offset + 2] << 16) |
           (std::uint32_t(b[offset + 3]) << 24);
}

// The next router packet of this type, skipping the login and heartbeats.
Bytes NextOfType(PeerSocket& router, std::uint32_t type, int timeoutMs = 5000) {
    for (int i = 0; i < 20; ++i) {
        Bytes packet = router.Receive(timeoutMs);
        if (packet.size() != links::kRouterPacketSize) return {};
        if (At32(packet, links::kTypeOffset) == type) return packet;
    }
    return {};
}

std::string Status(const MonitorRig& rig, const char* section, const char* key) {
    return ConfigStore::ReadSetting(rig.env.File("statusKyvern.ini"), section, key, "?", 260);
}

}  // namespace

TEST(ShotCycle, SimulatedShotsAreRecordedAndPublishedToEveryPeer) {
    MonitorRig rig;
    PeerSocket listener(links::kNotificationSlotName);
    PeerSocket router(links::kRouterSlotName);
    PseudoTerminal device;
    ASSERT_TRUE(listener.Bound());
    ASSERT_TRUE(router.Bound());
    rig.env.Set("Ports", "COM3", device.DevicePath());
    rig.env.Set("SerialOutput", "Enabled", "Yes");
    rig.env.Set("SerialOutput", "CommPort", "COM3");
    rig.env.Set("ImageDisplay", "Grid", "On");
    rig.env.Set("ImageDisplay", "Planes", "On");
    rig.env.Set("ImageDisplay", "Marks", "On");
    rig.monitor->SetNames("Ann", "Morning", "Driver");
    rig.monitor->Start();

    EXPECT_EQ(AsText(listener.Receive(2000)), Utf16(app::kApplicationTitle));
    ASSERT_EQ(At32(router.Receive(2000), links::kTypeOffset), 16u);  // the login
    EXPECT_TRUE(rig.timers.IsRunning(app::kCameraTimer));
    EXPECT_EQ(rig.timers.Period(app::kCameraTimer), 100);
    EXPECT_EQ(rig.timers.Period(app::kCommandTimer), 2000);
    EXPECT_EQ(rig.timers.Period(app::kIndicatorTimer), 500);
    EXPECT_FALSE(rig.timers.IsRunning(app::kCaptureFileTimer));
    EXPECT_EQ(Status(rig, "Status", "Executable"), links::ExecutablePath());

    // No frame: the tick does nothing.
    rig.timers.Fire(app::kCameraTimer);
    EXPECT_EQ(rig.monitor->ShotsRecorded(), 0);
    EXPECT_FALSE(rig.monitor->ShotInProgress());

    constexpr int kShots = 4;
    for (int n = 0; n < kShots; ++n) {
        ASSERT_TRUE(rig.Shoot());
        ASSERT_TRUE(rig.timers.Fire(app::kCameraTimer));
        ASSERT_EQ(rig.monitor->ShotsRecorded(), n + 1) << "shot " << n;
        const kyvern::shot::ShotRecord& shot = rig.view.shots.back();
        const auto truth = rig.driver->LastShot();
        EXPECT_NEAR(shot.launch.ballSpeed, truth.ballSpeed, 0.02 * truth.ballSpeed);
        EXPECT_NEAR(shot.launch.launchAngle, truth.launchAngle, 1.0);

        EXPECT_EQ(AsText(listener.Receive(2000)), Utf16("Kyvern: New Image"));
        EXPECT_EQ(AsText(listener.Receive(2000)), Utf16("Kyvern: Analysis Done"));

        Bytes tee = NextOfType(router, links::MSG_TEE_OFF);
        ASSERT_EQ(tee.size(), links::kRouterPacketSize);
        Bytes result = NextOfType(router, links::MSG_SHOT_RESULT);
        ASSERT_EQ(result.size(), links::kRouterPacketSize);
        kyvern::flight::FlightModel flight;
        const auto& l = shot.launch;
        flight.Compute(l.ballSpeed, l.launchAngle, l.backSpin, l.sideSpin, l.sideAngle);
        const links::RouterPacket expected =
            links::ShotResultPacket(l.ballSpeed, l.launchAngle, l.sideAngle, l.backSpin, l.sideSpin,
                                    flight.Carry(), flight.CarryOffline(), flight.FlightTime());
        for (std::size_t i = links::kTeeFirstOffset; i < links::kRouterPacketSize; ++i)
            EXPECT_EQ(result[i], expected.bytes[i]) << "byte " << i;

        EXPECT_EQ(device.Heard(),
                  links::SerialShotOutput::ShotLine(l.ballSpeed, l.launchAngle, l.backSpin,
                                                    l.sideSpin, l.sideAngle));

        EXPECT_EQ(Status(rig, "Status", "Status"), "Completed");
        EXPECT_EQ(Status(rig, "Status", "Analysis"), "Success");
        EXPECT_EQ(Status(rig, "Status", "Lock"), "Unlocked");
        char speed[32];
        std::snprintf(speed, sizeof speed, "%.1f", l.ballSpeed);
        EXPECT_EQ(Status(rig, "Ball", "SpeedFPS"), speed);
        std::snprintf(speed, sizeof speed, "%.1f", flight.CarryFeet());
        EXPECT_EQ(Status(rig, "Flight", "CarryDRft"), speed);
        EXPECT_EQ(Status(rig, "Cam0Status", "Valid"), "True");
        EXPECT_FALSE(rig.monitor->ShotInProgress());
        EXPECT_TRUE(rig.timers.IsRunning(app::kCameraTimer));
    }

    // The table holds the shots under their item; the log has a line per shot and no failure.
    kyvern::data::ShotTable& table = rig.monitor->Table();
    ASSERT_EQ(table.RowCount(), 2 + kShots);
    EXPECT_EQ(table.ItemOf(2), "Driver");
    EXPECT_EQ(table.Cell(2 + kShots - 1, kyvern::data::kUserColumn), "Ann");
    const std::string log = kyvern::testing::ReadFileText(kyvern::base::ShotLogPath());
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), kShots);
    EXPECT_EQ(log.find("image failed"), std::string::npos);

    // The ring of three: pic0 to pic2, the fourth shot over the oldest.
    for (int n = 0; n < 3; ++n)
        EXPECT_TRUE(std::filesystem::exists(kyvern::base::HistoryFramePath(n))) << n;
    EXPECT_FALSE(std::filesystem::exists(kyvern::base::HistoryFramePath(3)));

    // The last frame reloads gray with its capture facts; the overlay is a colour picture
    // of the same frame, and the slots are gray again.
    kyvern::testing::RecordingPrompts filePrompts;
    kyvern::capture::ImageFile last(filePrompts, rig.env.Settings());
    ASSERT_TRUE(last.Load(kyvern::base::LastFramePath()));
    EXPECT_EQ(last.Slot(0).serialNumber, std::int32_t(kyvern::sim::kFirstSimulatedSerial));
    EXPECT_NEAR(last.Slot(0).t2 - last.Slot(0).t1, rig.table->StrobeInterval(), 1e-9);
    const std::string overlay = kyvern::testing::ReadFileText(kyvern::base::LastOverlayPath());
    ASSERT_GT(overlay.size(), 54u);
    EXPECT_EQ(overlay[28], 24);  // bits per pixel
    EXPECT_EQ(overlay.size(), 1078u + 1024u * 768u * 3u);
    // A grid pixel of the picture, rows stored bottom up: row 64 from the top, column 1.
    const std::size_t rowBytes = 1024u * 3u;
    const std::size_t at = 1078u + (767u - 64u) * rowBytes + 3u * 1u;
    EXPECT_EQ(static_cast<unsigned char>(overlay[at + 1]), app::kGridColour.green);
    EXPECT_EQ(rig.monitor->Frame(0).bytesPerPixel, 1);

    rig.monitor->Stop();
    EXPECT_FALSE(rig.timers.IsRunning(app::kCameraTimer));
    EXPECT_FALSE(rig.timers.IsRunning(app::kCommandTimer));
    EXPECT_TRUE(rig.prompts.messages.empty());
}

TEST(ShotCycle, AFailedFrameTakesTheFailurePath) {
    MonitorRig rig;
    PeerSocket listener(links::kNotificationSlotName);
    PeerSocket router(links::kRouterSlotName);
    rig.monitor->SetNames("Ann", "Morning", "Wedge");
    rig.monitor->Start();
    listener.Receive(2000);

    // A frame with no ball: the strobe fired with nothing in view.
    kyvern::testing::RecordingPrompts filePrompts;
    kyvern::capture::ImageFile file(filePrompts, rig.env.Settings());
    auto frame = std::make_unique<kyvern::analysis::CapturedImage>();
    frame->width = 640;
    frame->height = 480;
    frame->bytesPerPixel = 1;
    frame->valid = true;
    frame->serialNumber = 5;
    frame->t1 = 0.001;
    frame->t2 = 0.00245;
    std::fill_n(frame->Pixels(), 640 * 480, std::uint8_t(40));
    file.SetImage(0, *frame);
    const std::string path = rig.env.Path() + "/empty.bmp";
    ASSERT_TRUE(file.Save(path));

    ASSERT_TRUE(rig.monitor->OpenImage(path));
    EXPECT_EQ(rig.monitor->ShotsRecorded(), 0);
    ASSERT_EQ(rig.view.failures.size(), 1u);
    EXPECT_EQ(AsText(listener.Receive(2000)), Utf16("Kyvern: Analysis Terminated"));
    Bytes tee = NextOfType(router, links::MSG_TEE_OFF);
    EXPECT_EQ(tee.size(), links::kRouterPacketSize);
    Bytes zero = NextOfType(router, links::MSG_SHOT_RESULT);
    ASSERT_EQ(zero.size(), links::kRouterPacketSize);
    const links::RouterPacket expected = links::FailedAnalysisPacket();
    for (std::size_t i = links::kTeeFirstOffset; i < links::kRouterPacketSize; ++i)
        EXPECT_EQ(zero[i], expected.bytes[i]) << "byte " << i;
    EXPECT_EQ(kyvern::testing::ReadFileText(kyvern::base::ShotLogPath()), "Wedge image failed");
    EXPECT_EQ(Status(rig, "Status", "Analysis"), "Terminated");
    EXPECT_EQ(Status(rig, "Status", "Lock"), "Unlocked");
    EXPECT_EQ(Status(rig, "Cam0Status", "Valid"), "True");
    EXPECT_NE(Status(rig, "Cam0Status", "ErrorCode"), "");
    EXPECT_TRUE(std::filesystem::exists(kyvern::base::HistoryFramePath(0)));
    EXPECT_FALSE(std::filesystem::exists(kyvern::base::LastOverlayPath()));
    EXPECT_TRUE(rig.timers.IsRunning(app::kCameraTimer));
    EXPECT_FALSE(rig.monitor->ShotInProgress());
    EXPECT_TRUE(rig.prompts.messages.empty());
}

TEST(ShotComputation, PredictedSpinGoesToTheRouterAndTheSerialLineOnly) {
    EXPECT_DOUBLE_EQ(app::LaunchMonitor::PredictedBackSpin(150.0, 12.0), 4625.0);

    MonitorRig rig;
    PeerSocket router(links::kRouterSlotName);
    PseudoTerminal device;
    rig.env.Set("Ports", "COM4", device.DevicePath());
    rig.env.Set("SerialOutput", "Enabled", "Yes");
    rig.env.Set("SerialOutput", "CommPort", "COM4");
    rig.env.Set("Setup", "PredictWithSpin", "No");
    rig.monitor->Start();
    ASSERT_TRUE(rig.Shoot());
    rig.timers.Fire(app::kCameraTimer);
    ASSERT_EQ(rig.monitor->ShotsRecorded(), 1);
    const auto& l = rig.monitor->CurrentShot().launch;
    const double predicted = app::LaunchMonitor::PredictedBackSpin(l.ballSpeedMph, l.launchAngle);
    ASSERT_GT(std::abs(predicted - l.backSpin), 1.0);

    kyvern::flight::FlightModel flight;
    flight.Compute(l.ballSpeed, l.launchAngle, predicted, l.sideSpin, l.sideAngle);
    const links::RouterPacket expected =
        links::ShotResultPacket(l.ballSpeed, l.launchAngle, l.sideAngle, predicted, l.sideSpin,
                                flight.Carry(), flight.CarryOffline(), flight.FlightTime());
    Bytes result = NextOfType(router, links::MSG_SHOT_RESULT);
    ASSERT_EQ(result.size(), links::kRouterPacketSize);
    for (std::size_t i = links::kTeeFirstOffset; i < links::kRouterPacketSize; ++i)
        EXPECT_EQ(result[i], expected.bytes[i]) << "byte " << i;
    EXPECT_EQ(device.Heard(), links::SerialShotOutput::ShotLine(
                                  l.ballSpeed, l.launchAngle, predicted, l.sideSpin, l.sideAngle));
    // The status file and the table keep the measured spin.
    char spin[32];
    std::snprintf(spin, sizeof spin, "%.0f", l.backSpin);
    EXPECT_EQ(Status(rig, "Ball", "BackSpin"), spin);
    std::snprintf(spin, sizeof spin, "%.f", l.backSpin);
    EXPECT_EQ(rig.monitor->Table().Cell(2, kyvern::data::kBackSpinColumn), spin);
}

TEST(ShotCycle, ASecondInstanceRecordsButNeitherSavesFramesNorPublishes) {
    MonitorRig rig(1, true);
    PeerSocket listener(links::kNotificationSlotName);
    PeerSocket router(links::kRouterSlotName);
    PseudoTerminal device;
    rig.env.Set("Ports", "COM5", device.DevicePath());
    rig.env.Set("SerialOutput", "Enabled", "Yes");
    rig.env.Set("SerialOutput", "CommPort", "COM5");
    rig.monitor->Start();
    EXPECT_EQ(AsText(listener.Receive(2000)), Utf16(app::kApplicationTitle));
    ASSERT_TRUE(rig.Shoot());
    rig.timers.Fire(app::kCameraTimer);
    ASSERT_EQ(rig.monitor->ShotsRecorded(), 1);
    EXPECT_EQ(Status(rig, "Status", "Analysis"), "Success");
    EXPECT_EQ(rig.monitor->Table().RowCount(), 3);
    EXPECT_EQ(AsText(listener.Receive(2000)), Utf16("Kyvern: New Image"));
    bool more = true;
    listener.Receive(100, &more);
    EXPECT_FALSE(more);  // no "Analysis Done"
    EXPECT_TRUE(NextOfType(router, links::MSG_TEE_OFF, 200).empty());
    EXPECT_EQ(device.Heard(100), "");
    EXPECT_FALSE(std::filesystem::exists(kyvern::base::LastFramePath()));
    EXPECT_FALSE(std::filesystem::exists(kyvern::base::HistoryFramePath(0)));
    EXPECT_TRUE(std::filesystem::exists(kyvern::base::LastOverlayPath()));
}
