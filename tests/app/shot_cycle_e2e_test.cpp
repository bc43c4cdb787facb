// The headless shot cycle end to end on the simulated camera, with real peers listening.
#include <gtest/gtest.h>
#include <httplib.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>

#include "analysis/analysis_codes.h"
#include "app_fixtures.h"
#include "flight/flight_model.h"
#include "flight/putt_roll.h"
#include "links/notification_slot.h"
#include "links/router_packet.h"
#include "links/serial_shot_output.h"
#include "sim/frame_renderer.h"
#include "sim/scene_realism.h"
#include "store/sqlite_store.h"

using namespace kyvern::testing;
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

// The next shot result the router hears, byte for byte from the tee position on.
void ExpectResult(PeerSocket& router, const links::RouterPacket& expected) {
    Bytes result = NextOfType(router, links::MSG_SHOT_RESULT);
    ASSERT_EQ(result.size(), links::kRouterPacketSize);
    for (std::size_t i = links::kTeeFirstOffset; i < links::kRouterPacketSize; ++i)
        EXPECT_EQ(result[i], expected.bytes[i]) << "byte " << i;
}

// The peers that listen to a monitor: the notification slot, the router and the serial line
// on a pseudo-terminal, enabled in the settings as this port.
struct Peers {
    Peers(const MonitorRig& rig, const char* port) {
        rig.env.Set("Ports", port, device.DevicePath());
        rig.env.Set("SerialOutput", "Enabled", "Yes");
        rig.env.Set("SerialOutput", "CommPort", port);
    }
    PeerSocket listener{links::kNotificationSlotName};
    PeerSocket router{links::kRouterSlotName};
    PseudoTerminal device;
};

std::string Format(const char* format, double value) {
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

TEST(ShotCycle, SimulatedShotsAreRecordedAndPublishedToEveryPeer) {
    MonitorRig rig;
    Peers peers(rig, "COM3");
    auto& [listener, router, device] = peers;
    ASSERT_TRUE(listener.Bound() && router.Bound());
    for (const char* overlay : {"Grid", "Planes", "Marks"})
        rig.env.Set("ImageDisplay", overlay, "On");
    rig.monitor->SetNames("Ann", "Morning", "Driver");
    rig.monitor->Start();

    EXPECT_EQ(AsText(listener.Receive(2000)), Utf16(app::kApplicationTitle));
    ASSERT_EQ(At32(router.Receive(2000), links::kTypeOffset), 16u);  // the login
    EXPECT_EQ(rig.timers.Period(app::kCameraTimer), 100);
    EXPECT_EQ(rig.timers.Period(app::kCommandTimer), 2000);
    EXPECT_EQ(rig.timers.Period(app::kIndicatorTimer), 500);
    EXPECT_FALSE(rig.timers.IsRunning(app::kCaptureFileTimer));
    EXPECT_EQ(rig.Status("Status", "Executable"), links::ExecutablePath());

    // No frame: the tick does nothing.
    rig.timers.Fire(app::kCameraTimer);
    EXPECT_EQ(rig.monitor->ShotsRecorded(), 0);
    EXPECT_FALSE(rig.monitor->ShotInProgress());

    constexpr int kShots = 4;
    for (int n = 0; n < kShots; ++n) {
        ASSERT_TRUE(rig.ShootAndTake());
        ASSERT_EQ(rig.monitor->ShotsRecorded(), n + 1) << "shot " << n;
        const kyvern::shot::ShotRecord& shot = rig.view.shots.back();
        const auto truth = rig.driver->LastShot();
        EXPECT_NEAR(shot.launch.ballSpeed, truth.ballSpeed, 0.02 * truth.ballSpeed);
        EXPECT_NEAR(shot.launch.launchAngle, truth.launchAngle, 1.0);

        EXPECT_EQ(AsText(listener.Receive(2000)), Utf16("Kyvern: New Image"));
        EXPECT_EQ(AsText(listener.Receive(2000)), Utf16("Kyvern: Analysis Done"));

        EXPECT_EQ(NextOfType(router, links::MSG_TEE_OFF).size(), links::kRouterPacketSize);
        kyvern::flight::FlightModel flight;
        const auto& l = shot.launch;
        flight.Compute(l.ballSpeed, l.launchAngle, l.backSpin, l.sideSpin, l.sideAngle);
        ExpectResult(router, links::ShotResultPacket(l.ballSpeed, l.launchAngle, l.sideAngle,
                                                     l.backSpin, l.sideSpin, flight.Carry(),
                                                     flight.CarryOffline(), flight.FlightTime()));

        EXPECT_EQ(device.Heard(),
                  links::SerialShotOutput::ShotLine(l.ballSpeed, l.launchAngle, l.backSpin,
                                                    l.sideSpin, l.sideAngle));

        EXPECT_EQ(rig.Status("Status", "Status") + " " + rig.Status("Status", "Analysis") + " " +
                      rig.Status("Status", "Lock") + " " + rig.Status("Ball", "SpeedFPS") + " " +
                      rig.Status("Flight", "CarryDRft") + " " + rig.Status("Cam0Status", "Valid") +
                      " " + rig.Status("Club", "ClubMass"),
                  "Completed Success Unlocked " + Format("%.1f", l.ballSpeed) + " " +
                      Format("%.1f", flight.CarryFeet()) + " True 200.0");
        // With no club key set, the mass published is the one the shot was computed with.
        EXPECT_EQ(shot.club.clubMass.Value(), 200.0);
        EXPECT_FALSE(rig.monitor->ShotInProgress());
        EXPECT_TRUE(rig.timers.IsRunning(app::kCameraTimer));
    }

    // The table holds the shots under their item; the log has a line per shot and no failure.
    kyvern::data::ShotTable& table = rig.monitor->Table();
    ASSERT_EQ(table.RowCount(), 2 + kShots);
    EXPECT_EQ(table.ItemOf(2), "Driver");
    EXPECT_EQ(table.Cell(2 + kShots - 1, kyvern::data::kUserColumn), "Ann");
    const std::string log = ReadFileText(kyvern::base::ShotLogPath());
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), kShots);
    EXPECT_EQ(log.find("image failed"), std::string::npos);

    // The ring of three: pic0 to pic2, the fourth shot over the oldest.
    for (int n = 0; n < 3; ++n)
        EXPECT_TRUE(std::filesystem::exists(kyvern::base::HistoryFramePath(n))) << n;
    EXPECT_FALSE(std::filesystem::exists(kyvern::base::HistoryFramePath(3)));

    // The last frame reloads gray with its capture facts; the overlay is a colour picture
    // of the same frame, and the slots are gray again.
    kyvern::capture::ImageFile last(rig.env.Settings());
    ASSERT_TRUE(last.Load(kyvern::base::LastFramePath()));
    EXPECT_EQ(last.Slot(0).serialNumber, std::int32_t(kyvern::sim::kFirstSimulatedSerial));
    EXPECT_NEAR(last.Slot(0).t2 - last.Slot(0).t1, rig.table->StrobeInterval(), 1e-9);
    const std::string overlay = ReadFileText(kyvern::base::LastOverlayPath());
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
    kyvern::capture::ImageFile file(rig.env.Settings());
    file.SetImage(0, *GrayFrame(0.001, 0.00245, 40));
    const std::string path = rig.env.Path() + "/empty.bmp";
    ASSERT_TRUE(file.Save(path));

    ASSERT_TRUE(rig.monitor->OpenImage(path));
    EXPECT_EQ(rig.monitor->ShotsRecorded(), 0);
    ASSERT_EQ(rig.view.failures.size(), 1u);
    EXPECT_EQ(AsText(listener.Receive(2000)), Utf16("Kyvern: Analysis Terminated"));
    EXPECT_EQ(NextOfType(router, links::MSG_TEE_OFF).size(), links::kRouterPacketSize);
    ExpectResult(router, links::FailedAnalysisPacket());
    EXPECT_EQ(ReadFileText(kyvern::base::ShotLogPath()), "Wedge image failed");
    EXPECT_EQ(rig.Status("Status", "Analysis") + " " + rig.Status("Status", "Lock") + " " +
                  rig.Status("Cam0Status", "Valid"),
              "Terminated Unlocked True");
    EXPECT_NE(rig.Status("Cam0Status", "ErrorCode"), "");
    EXPECT_TRUE(std::filesystem::exists(kyvern::base::HistoryFramePath(0)));
    EXPECT_FALSE(std::filesystem::exists(kyvern::base::LastOverlayPath()));
    EXPECT_TRUE(rig.timers.IsRunning(app::kCameraTimer));
    EXPECT_FALSE(rig.monitor->ShotInProgress());
    EXPECT_TRUE(rig.prompts.messages.empty());
}

// A shot the analysis solved but cannot vouch for (here a ball lit barely above a bright scene,
// whose edges cannot tell the depth between its images) is told as a failure is, with its reasons,
// and recorded nowhere.
TEST(ShotCycle, ADoubtfulShotIsRefusedWithItsReasons) {
    MonitorRig rig;
    PeerSocket router(links::kRouterSlotName);
    rig.env.Set("Analysis", "MinConfidence", "0.9");
    rig.monitor->SetNames("Ann", "Morning", "Wedge");
    rig.monitor->Start();

    kyvern::sim::ShotSetup s;
    s.width = 640, s.height = 480, s.ballSpeed = 200.0, s.launchAngle = 12.0, s.backSpin = 4000.0;
    s.t1 = 0.001, s.t2 = 0.001 + kyvern::sim::StrobeIntervalFor(s.ballSpeed);
    s.lineNormal = kyvern::sim::NormalAcrossSpin(s.backSpin, 0.0, 0.0);
    s.ball0 = kyvern::sim::CentredStart(s, kyvern::sim::SimulatedDistance(640));
    s.lighting.ballLevel = 80.0, s.lighting.backgroundLevel = 45.0;
    kyvern::sim::FrameRenderer renderer;
    auto frame = std::make_unique<kyvern::frame::CapturedImage>();
    ASSERT_TRUE(renderer.Render(s, *frame));
    kyvern::capture::ImageFile file(rig.env.Settings());
    file.SetImage(0, *frame);
    const std::string path = rig.env.Path() + "/dim.bmp";
    ASSERT_TRUE(file.Save(path));

    ASSERT_TRUE(rig.monitor->OpenImage(path));
    EXPECT_EQ(rig.monitor->ShotsRecorded(), 0);
    ASSERT_EQ(rig.view.failures, std::vector<std::int32_t>{kyvern::analysis::kDoubtfulShot});
    ExpectResult(router, links::FailedAnalysisPacket());
    const std::string reason = "the depth between the images was not measured";
    EXPECT_EQ(ReadFileText(kyvern::base::ShotLogPath()), "Wedge doubtful shot: " + reason);
    EXPECT_EQ(rig.Status("Status", "Analysis"), "Terminated");
    EXPECT_EQ(rig.Status("Cam0Status", "ErrorCode"), "doubtful shot: " + reason);
    const auto& lines = rig.messages.Lines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.rfind("Shot refused, confidence 0.", 0) == 0 &&
               line.find(reason) != std::string::npos;
    }));
    EXPECT_FALSE(rig.monitor->ShotInProgress());
}

TEST(ShotComputation, PredictedSpinGoesToTheRouterAndTheSerialLineOnly) {
    EXPECT_DOUBLE_EQ(app::LaunchMonitor::PredictedBackSpin(150.0, 12.0), 4625.0);

    MonitorRig rig;
    Peers peers(rig, "COM4");
    auto& [listener, router, device] = peers;
    rig.env.Set("Setup", "PredictWithSpin", "No");
    rig.monitor->Start();
    ASSERT_TRUE(rig.ShootAndTake());
    ASSERT_EQ(rig.monitor->ShotsRecorded(), 1);
    const auto& l = rig.monitor->CurrentShot().launch;
    const double predicted = app::LaunchMonitor::PredictedBackSpin(l.ballSpeedMph, l.launchAngle);
    ASSERT_GT(std::abs(predicted - l.backSpin), 1.0);

    kyvern::flight::FlightModel flight;
    flight.Compute(l.ballSpeed, l.launchAngle, predicted, l.sideSpin, l.sideAngle);
    ExpectResult(router, links::ShotResultPacket(l.ballSpeed, l.launchAngle, l.sideAngle, predicted,
                                                 l.sideSpin, flight.Carry(), flight.CarryOffline(),
                                                 flight.FlightTime()));
    EXPECT_EQ(device.Heard(), links::SerialShotOutput::ShotLine(
                                  l.ballSpeed, l.launchAngle, predicted, l.sideSpin, l.sideAngle));
    // The status file and the table keep the measured spin.
    EXPECT_EQ(rig.Status("Ball", "BackSpin"), Format("%.0f", l.backSpin));
    EXPECT_EQ(rig.monitor->Table().Cell(2, kyvern::data::kBackSpinColumn),
              Format("%.0f", l.backSpin));
}

// A print beside the line makes a spin doubtful: the shot is recorded with its measured spin
// marked, and the router, the serial line and every value derived from the spin (the flight
// shown, the club values inferred) take the predicted back spin and no side spin instead.
TEST(ShotComputation, ADoubtfulSpinGoesOutAsThePredictedOne) {
    kyvern::sim::Realism prints;
    prints.prints = true;
    MonitorRig rig(1, false, prints);
    Peers peers(rig, "COM4");
    auto& [listener, router, device] = peers;
    rig.monitor->Start();
    // The simulator's shots are the same every run: the first with a doubtful spin comes early.
    bool doubtful = false;
    for (int shot = 0; shot < 40 && !doubtful; ++shot) {
        ASSERT_TRUE(rig.ShootAndTake());
        doubtful = rig.monitor->CurrentShot().launch.spinDoubtful;
        if (doubtful) break;
        // An earlier shot's result and line, heard and passed over.
        EXPECT_EQ(NextOfType(router, links::MSG_SHOT_RESULT).size(), links::kRouterPacketSize);
        EXPECT_FALSE(device.Heard().empty());
    }
    ASSERT_TRUE(doubtful);
    const kyvern::data::ShotTable& table = rig.monitor->Table();
    EXPECT_TRUE(table.SpinDoubtful(table.CurrentRow()));
    EXPECT_EQ(table.SpinDoubtful(2), table.CurrentRow() == 2);  // the first shot's row
    const auto& l = rig.monitor->CurrentShot().launch;
    const double predicted = app::LaunchMonitor::PredictedBackSpin(l.ballSpeedMph, l.launchAngle);
    kyvern::flight::FlightModel flight;
    flight.Compute(l.ballSpeed, l.launchAngle, predicted, 0.0, l.sideAngle);
    ExpectResult(router, links::ShotResultPacket(l.ballSpeed, l.launchAngle, l.sideAngle, predicted,
                                                 0.0, flight.Carry(), flight.CarryOffline(),
                                                 flight.FlightTime()));
    EXPECT_EQ(device.Heard(), links::SerialShotOutput::ShotLine(l.ballSpeed, l.launchAngle,
                                                                predicted, 0.0, l.sideAngle));
    // The video-analysis program's back and side spin streams.
    EXPECT_EQ(rig.metadata.values.at(1), float(predicted));
    EXPECT_EQ(rig.metadata.values.at(2), 0.0f);
    const kyvern::shot::ShotRecord& shot = rig.monitor->CurrentShot();
    EXPECT_DOUBLE_EQ(shot.flight.carry, flight.Carry());
    const kyvern::data::ShotValues* row = table.Values(table.CurrentRow());
    ASSERT_NE(row, nullptr);
    EXPECT_DOUBLE_EQ(row->flight.carry, flight.Carry());  // the table flies it so too
    EXPECT_EQ(table.Cell(table.CurrentRow(), kyvern::data::kBackSpinColumn),
              Format("%.0f", l.backSpin));
    kyvern::testing::RecordingPrompts quiet;
    kyvern::links::ClubSensor inferred(quiet);
    inferred.Recompute(l.ballSpeed, l.launchAngle, l.sideAngle, predicted, 0.0);
    EXPECT_DOUBLE_EQ(shot.club.faceAngle.Value(), inferred.FaceAngle());
}

// In Putt mode the simulated camera strobes a putt: it is recorded under the putter with its
// roll on the green of the settings as its flight, and no spin goes to the router or the
// serial line.
TEST(ShotCycle, APuttIsRecordedWithItsRollAndNoSpin) {
    MonitorRig rig;
    Peers peers(rig, "COM4");
    auto& [listener, router, device] = peers;
    rig.env.Set("Camera", "Speed", "Putt");
    rig.env.Set("Putting", "Stimp", "11");
    ASSERT_TRUE(rig.table->ApplySpeedAndBrightness());
    rig.monitor->SetNames("Ann", "Greens", "7 Iron");
    rig.monitor->Start();
    ASSERT_TRUE(rig.ShootAndTake());
    ASSERT_EQ(rig.monitor->ShotsRecorded(), 1);
    const kyvern::shot::ShotRecord& shot = rig.monitor->CurrentShot();
    const auto truth = rig.driver->LastShot();
    ASSERT_TRUE(shot.launch.putt);
    EXPECT_NEAR(shot.launch.ballSpeed, truth.ballSpeed, 0.01 * truth.ballSpeed);
    EXPECT_EQ(shot.launch.backSpin, 0.0);
    EXPECT_FALSE(shot.launch.spinDoubtful);
    // No sensor measured the putter, and a full swing's model says nothing of its delivery.
    EXPECT_FALSE(shot.club.clubSpeed.Present() || shot.club.angleOfAttack.Present() ||
                 shot.club.effectiveLoft.Present());
    EXPECT_EQ(rig.monitor->Table().Cell(2, kyvern::data::kClubSpeedColumn), "0.0");  // none
    EXPECT_EQ(shot.item, "Putter");
    EXPECT_EQ(rig.monitor->Table().Cell(1, kyvern::data::kItemColumn), "Putter");

    kyvern::flight::PuttResult roll;
    ASSERT_TRUE(kyvern::flight::PuttRoll::Compute(
        {shot.launch.ballSpeedMph, shot.launch.sideAngle, kyvern::flight::PuttStart::kStruck},
        {11.0, 0.0, 0.0}, roll));
    EXPECT_EQ(shot.flight.carry, 0.0);
    EXPECT_DOUBLE_EQ(shot.flight.total * 3.0, roll.distance);
    EXPECT_EQ(rig.Status("Flight", "CarryDRft"), "0.0");
    EXPECT_EQ(rig.Status("Flight", "TotalDRft"), Format("%.1f", roll.distance));
    const auto& l = shot.launch;
    ExpectResult(router, links::ShotResultPacket(l.ballSpeed, l.launchAngle, l.sideAngle, 0.0, 0.0,
                                                 0.0, 0.0, roll.time));
    EXPECT_EQ(device.Heard(),
              links::SerialShotOutput::ShotLine(l.ballSpeed, l.launchAngle, 0.0, 0.0, l.sideAngle));
    // A chosen putter keeps its own name.
    rig.monitor->SetNames("Ann", "Greens", "Blade putter");
    ASSERT_TRUE(rig.ShootAndTake());
    EXPECT_EQ(rig.monitor->CurrentShot().item, "Blade putter");
}

// Choosing a putter puts the cameras in Putt mode, so that the putt is measured; another club
// brings back the speed mode there was, and a Putt mode chosen by hand stays for any club.
TEST(ShotCycle, ChoosingAPutterStrobesForPuttsAndAnotherClubRestoresTheSpeed) {
    MonitorRig rig;
    rig.env.Set("Camera", "Speed", "Fast");
    ASSERT_TRUE(rig.table->ApplySpeedAndBrightness());
    const double fast = rig.table->StrobeInterval();
    rig.monitor->SetNames("Ann", "Greens", "Putter");
    EXPECT_EQ(rig.env.Get("Camera", "Speed"), "Putt");
    EXPECT_GT(rig.table->StrobeInterval(), 0.004);
    rig.monitor->Start();
    ASSERT_TRUE(rig.ShootAndTake());
    EXPECT_TRUE(rig.monitor->CurrentShot().launch.putt);
    rig.monitor->SetNames("Ann", "Greens", "Driver");
    EXPECT_EQ(rig.env.Get("Camera", "Speed"), "Fast");
    EXPECT_DOUBLE_EQ(rig.table->StrobeInterval(), fast);
    rig.env.Set("Camera", "Speed", "Putt");
    rig.monitor->SetNames("Ann", "Greens", "7 Iron");
    EXPECT_EQ(rig.env.Get("Camera", "Speed"), "Putt");
}

// Every new shot goes into the history with the settings that shaped it. A store out of reach
// does not stop the shot: it waits in the queue folder, the status file says so, and it goes
// into the store the next time one takes shots.
TEST(ShotCycle, EveryShotReachesTheHistoryOrWaitsInItsQueue) {
    MonitorRig rig;
    rig.env.Set("Store", "Bay", "Bay 7");
    auto remake = [&] {
        rig.monitor.reset();
        app::MonitorOptions options;
        options.wait = [](int) {};
        options.routerTiming = QuickRouter();
        rig.monitor = std::make_unique<app::LaunchMonitor>(rig.timers, rig.prompts, rig.messages,
                                                           rig.table.get(), options);
        rig.monitor->SetView(&rig.view);
        rig.monitor->SetNames("Ann", "Range", "7 Iron");
        rig.monitor->Start();
    };
    remake();
    ASSERT_TRUE(rig.ShootAndTake());
    const kyvern::shot::ShotRecord first = rig.monitor->CurrentShot();
    auto stored = [&] {
        std::unique_ptr<kyvern::store::SqliteStore> db;
        EXPECT_TRUE(kyvern::store::SqliteStore::Open(rig.env.File("kyvern.db"), db));
        std::vector<kyvern::store::StoredShot> shots;
        if (db) {
            EXPECT_TRUE(db->Shots({}, shots));
        }
        return shots;
    };
    std::vector<kyvern::store::StoredShot> shots = stored();
    ASSERT_EQ(shots.size(), 1u);
    EXPECT_EQ(shots[0].player, "Ann");
    EXPECT_EQ(shots[0].item, "7 Iron");
    EXPECT_EQ(shots[0].bay, "Bay 7");
    EXPECT_DOUBLE_EQ(shots[0].ballSpeed, first.launch.ballSpeed);
    EXPECT_DOUBLE_EQ(shots[0].flight.carry, first.flight.carry);
    EXPECT_EQ(shots[0].cameraSerials,
              std::vector<std::string>{std::to_string(kyvern::sim::kFirstSimulatedSerial)});
    EXPECT_EQ(shots[0].imageFile.rfind(kyvern::base::HistoryFolder(), 0), 0u) << shots[0].imageFile;
    EXPECT_EQ(shots[0].precision, "Standard");

    // A server that is not there.
    rig.env.Set("Store", "Url", "postgresql:///kyvern?host=" + rig.env.File("no-server"));
    remake();
    ASSERT_TRUE(rig.ShootAndTake());
    EXPECT_EQ(rig.monitor->ShotsRecorded(), 1);
    ASSERT_TRUE(Eventually([&] {
        rig.timers.Fire(app::kSensorTimer);
        return rig.Status("Status", "ShotStore") == "error";
    }));
    EXPECT_EQ(rig.Status("Status", "ShotStoreQueued"), "1");
    EXPECT_NE(rig.Status("Status", "ShotStoreReason"), "");
    EXPECT_EQ(stored().size(), 1u);

    // The local file again: the queued shot goes in with the next.
    rig.env.Set("Store", "Url", "");
    remake();
    ASSERT_TRUE(rig.ShootAndTake());
    shots = stored();
    EXPECT_EQ(shots.size(), 3u);
    EXPECT_EQ(rig.Status("Status", "ShotStore"), "connected");
    EXPECT_EQ(rig.Status("Status", "ShotStoreQueued"), "0");
}

// With Web/Port set the shot reaches the live page with the table's rows; a port out of range
// keeps the page off and says why.
TEST(ShotCycle, TheLivePageShowsEachShotAsTheTableHasIt) {
    {
        MonitorRig rig;
        rig.env.Set("Web", "Port", "70000");
        rig.monitor.reset();
        rig.monitor = std::make_unique<app::LaunchMonitor>(rig.timers, rig.prompts, rig.messages,
                                                           rig.table.get(), app::MonitorOptions{});
        EXPECT_EQ(rig.monitor->LivePage(), nullptr);
        const auto& lines = rig.messages.Lines();
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& l) {
            return l.rfind("Live page: Web/Port is \"70000\"", 0) == 0;
        })) << lines.back();
    }
    // A port the system has just freed.
    int port = 0;
    {
        links::LivePage probe;
        ASSERT_TRUE(probe.Start({}));
        port = probe.Port();
    }
    MonitorRig rig;
    rig.env.Set("Web", "Port", std::to_string(port));
    app::MonitorOptions options;
    options.wait = [](int) {};
    options.routerTiming = QuickRouter();
    rig.monitor.reset();  // its timers go with it
    rig.monitor = std::make_unique<app::LaunchMonitor>(rig.timers, rig.prompts, rig.messages,
                                                       rig.table.get(), options);
    ASSERT_NE(rig.monitor->LivePage(), nullptr);
    EXPECT_EQ(rig.messages.Lines().back(),
              "Live page: http://127.0.0.1:" + std::to_string(port) + "/");
    // The picture is drawn for an open page only.
    int drawn = 0;
    rig.monitor->SetLivePicture([&drawn] {
        ++drawn;
        return std::string("\x89PNG picture");
    });
    rig.monitor->SetNames("Ann", "Range", "Driver");
    rig.monitor->Start();
    std::thread tablet([port] {
        httplib::Client stream("127.0.0.1", port);
        stream.Get("/events", [](const char*, std::size_t) { return true; });
    });
    ASSERT_TRUE(Eventually([&] { return rig.monitor->LivePage()->Subscribers() == 1; }));
    ASSERT_TRUE(rig.ShootAndTake());
    EXPECT_EQ(drawn, 1);
    ASSERT_EQ(rig.monitor->ShotsRecorded(), 1) << rig.messages.Lines().back();
    httplib::Client client("127.0.0.1", port);
    const auto shot = client.Get("/shot.json");
    ASSERT_TRUE(shot);
    const auto json = nlohmann::json::parse(shot->body);
    EXPECT_EQ(json["title"], "Ann \u2014 Driver, shot 1");
    EXPECT_EQ(json["figures"][0]["value"],
              Format("%.1f", rig.monitor->CurrentShot().launch.ballSpeedMph));
    EXPECT_EQ(json["header"][1], rig.monitor->Table().Cell(0, kyvern::data::kBallSpeedColumn));
    ASSERT_EQ(json["rows"].size(), 1u);
    EXPECT_EQ(json["rows"][0][5], rig.monitor->Table().Cell(2, kyvern::data::kCarryColumn));
    EXPECT_EQ(client.Get("/downrange.png")->body, "\x89PNG picture");
    rig.monitor.reset();  // ends the tablet's stream
    tablet.join();
}

TEST(ShotCycle, ASecondInstanceRecordsButNeitherSavesFramesNorPublishes) {
    MonitorRig rig(1, true);
    Peers peers(rig, "COM5");
    auto& [listener, router, device] = peers;
    rig.monitor->Start();
    EXPECT_EQ(AsText(listener.Receive(2000)), Utf16(app::kApplicationTitle));
    ASSERT_TRUE(rig.ShootAndTake());
    ASSERT_EQ(rig.monitor->ShotsRecorded(), 1);
    EXPECT_EQ(rig.Status("Status", "Analysis"), "Success");
    EXPECT_EQ(rig.monitor->Table().RowCount(), 3);
    bool more = true;
    listener.Receive(100, &more);
    EXPECT_FALSE(more);  // neither "New Image" nor "Analysis Done"
    EXPECT_TRUE(NextOfType(router, links::MSG_TEE_OFF, 200).empty());
    EXPECT_EQ(device.Heard(100), "");
    EXPECT_FALSE(std::filesystem::exists(kyvern::base::LastFramePath()));
    EXPECT_FALSE(std::filesystem::exists(kyvern::base::HistoryFramePath(0)));
    EXPECT_TRUE(std::filesystem::exists(kyvern::base::LastOverlayPath()));
}
