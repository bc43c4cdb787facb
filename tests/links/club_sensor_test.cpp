#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "link_fixtures.h"
#include "links/club_sensor.h"
#include "shot/impact_model.h"
#include "support/recording_prompts.h"

namespace kyvern::links {
namespace {

using testing::PseudoTerminal;
using testing::TempHome;

constexpr double kMph = 1.4666666666666666;
// The speed of a Lazer count: 4 inches over count ticks of 0.5636 microseconds, in ft/s.
double LazerSpeed(double count) { return 4.0 / (count * 5.636e-7) / 12; }

// Bytes with '|' standing for the Distance Caddy's separator, 0x17.
std::string Caddy(std::string bytes) {
    std::replace(bytes.begin(), bytes.end(), '|', '\x17');
    return bytes;
}

SensorBuffer BufferOf(const std::string& bytes) {
    SensorBuffer buffer;
    std::memcpy(buffer.bytes.data(), bytes.data(), bytes.size());
    buffer.fill = static_cast<int>(bytes.size());
    return buffer;
}

// A GolfTek frame: 'g', type, length L, the fields at offsets 6 to 12, CR at offset L + 4.
std::string GolfTekFrame(std::uint8_t speed, std::uint8_t face = 0x03, std::uint8_t second = 0x85,
                         std::uint8_t path = 0x82, std::uint8_t tempoLow = 0x2C,
                         std::uint8_t tempoHigh = 0x01, std::uint8_t toe = 0xF3,
                         std::uint8_t length = 13, std::uint8_t type = 2) {
    std::string frame(length + 5, '\0');
    frame[0] = 'g';
    frame[1] = static_cast<char>(type);
    frame[2] = static_cast<char>(length);
    const std::uint8_t fields[] = {face, second, path, tempoLow, tempoHigh, toe, speed};
    std::memcpy(frame.data() + 6, fields, sizeof fields);
    frame[length + 4] = 13;
    return frame;
}

TEST(ClubSensorBuffer, KeepsTheNewest200PastTwoHundredFifty) {
    std::vector<std::uint8_t> bytes(251);
    std::iota(bytes.begin(), bytes.end(), 0);
    SensorBuffer buffer;
    buffer.Append(bytes.data(), 250);
    EXPECT_EQ(buffer.fill, 250);
    buffer.Append(bytes.data() + 250, 1);
    EXPECT_EQ(
        std::vector<int>({buffer.fill, buffer.bytes[0], buffer.bytes[199], buffer.bytes[200]}),
        std::vector<int>({200, 51, 250, 0}));
}

TEST(ClubSensorParsers, SpeedReportsAndWhatTheyLeaveInTheBuffer) {
    using Parser = void (*)(SensorBuffer&, shot::ClubData&);
    const double slowest = std::floor(4.0 / (2 * 5.636e-7) / 12);  // just above 2 ft/s counts
    char slow[32];
    std::snprintf(slow, sizeof slow, " %lx\r", static_cast<unsigned long>(slowest));
    // Parser, bytes, speed (NAN: none), bytes left (-1: any). A Lazer count of 0 is an infinite
    // speed; without a blank it is read from the second byte. The Caddy's separator at position
    // 0 is not looked at, its last four count, 1 mph is out of range. The SwingMate's blank
    // below position 3 is not looked for, and the last byte received is dropped.
    const struct {
        Parser parse;
        std::string bytes;
        double speed;
        int fill;
    } cases[] = {{ParseLazer, "x 0\r", NAN, 0},
                 {ParseLazer, " FFFFFF\r", NAN, -1},
                 {ParseLazer, slow, LazerSpeed(slowest), -1},
                 {ParseLazer, "9F67\r", LazerSpeed(0xF67), -1},
                 {ParseLazer, "5", NAN, 1},
                 {ParseLazer, "x zz\r", NAN, 5},  // no number: kept
                 {ParseDistanceCaddy, Caddy("|541|||"), NAN, 7},
                 {ParseDistanceCaddy, Caddy("x|999||||041|||"), 140 * kMph, -1},
                 {ParseDistanceCaddy, Caddy("x|100|||"), NAN, -1},
                 {ParseDistanceCaddy, Caddy("x|abc|||"), NAN, 0},
                 {ParseSwingMate, "90.5\r", 90.5 * kMph, -1},
                 {ParseSwingMate, "ab 85.3\r", NAN, -1},
                 {ParseSwingMate, "abc 85.3", 85 * kMph, -1},
                 {ParseSwingMate, "9", NAN, 0},
                 {ParseSwingMate, std::string(SensorBuffer::kCapacity, ' '), NAN, 0},
                 {ParseMaruman, "X??5", NAN, -1},
                 {ParseMaruman, "X005", NAN, -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes.substr(0, 20));
        SensorBuffer buffer = BufferOf(c.bytes);
        shot::ClubData reading;
        c.parse(buffer, reading);
        EXPECT_EQ(reading.clubSpeed.Present(), !std::isnan(c.speed));
        EXPECT_DOUBLE_EQ(reading.clubSpeed.Value(), std::isnan(c.speed) ? 0.0 : c.speed);
        EXPECT_EQ(buffer.fill, c.fill < 0 ? buffer.fill : c.fill);
    }
}

TEST(ClubSensorParsers, GolfTekFrames) {
    shot::ClubData reading;
    double second = 0;
    auto parse = [&](const std::string& bytes) {
        reading.Clear();
        SensorBuffer buffer = BufferOf(bytes);
        ParseGolfTek(buffer, reading, second);
        return buffer.fill;
    };
    // The speed boundary: 10 is rejected, 11 accepted; no face rotation without a speed.
    parse(GolfTekFrame(10));
    EXPECT_FALSE(reading.clubSpeed.Present() || reading.faceRotation.Present());
    EXPECT_TRUE(reading.faceAngle.Present());
    parse(GolfTekFrame(11));
    EXPECT_DOUBLE_EQ(reading.clubSpeed.Value(), 11);

    // No face rotation with a square face; tempo must lie inside 0.1 to 10.
    for (auto [low, tempo] : {std::pair<std::uint8_t, double>{0xE8, NAN}, {10, NAN}, {11, 0.11}}) {
        parse(GolfTekFrame(100, 0x80, 0x05, 0x0F, low, low == 0xE8 ? 3 : 0));
        EXPECT_FALSE(reading.faceRotation.Present());
        EXPECT_DOUBLE_EQ(reading.pathAngle.Value(), 15);
        EXPECT_EQ(reading.tempo.Present(), !std::isnan(tempo)) << int(low);
        EXPECT_EQ(reading.tempo.Value(), std::isnan(tempo) ? 0.0 : tempo);
    }

    // Only the frame that ends with the received bytes counts; junk before a frame is skipped.
    parse("zz" + GolfTekFrame(60) + "q" + GolfTekFrame(70, 3, 5, 1, 44, 1, 0, 20));
    EXPECT_DOUBLE_EQ(reading.clubSpeed.Value(), 70);

    // Frames that fail give nothing and, but for a wrong end byte, empty the buffer.
    std::string wrongEnd = GolfTekFrame(70);
    wrongEnd.back() = 10;
    for (const std::string& bad :
         {GolfTekFrame(70, 3, 5, 1, 44, 1, 0, 13, 3), GolfTekFrame(70).substr(0, 17),
          GolfTekFrame(70) + GolfTekFrame(80).substr(0, 10), std::string("no frame here at all"),
          GolfTekFrame(70, 3, 5, 1, 44, 1, 0, 30).substr(0, 25), wrongEnd}) {
        const int left = parse(bad);
        EXPECT_FALSE(reading.clubSpeed.Present());
        EXPECT_TRUE(left == 0 || bad == wrongEnd);
    }
}

// A sensor played by a pseudo-terminal; the injected wait is where the device answers.
struct SensorRig {
    explicit SensorRig(const char* type) {
        env.Set("ClubSensor", "Type", type);
        env.Set("ClubSensor", "CommPort", "COM1");
        env.Set("Ports", "COM1", device.DevicePath());
        sensor.Configure(kyvern::base::SettingsSnapshot::Read(), true);
    }
    void Shot(double ballSpeed = 220) { sensor.ReadShot(ballSpeed, 12, 1.5, 3000, -400); }
    bool Calculated() const { return sensor.SpeedCalculated(); }
    TempHome env;
    PseudoTerminal device;
    testing::RecordingPrompts prompts;
    std::string reply;    // what the device sends during the next wait
    std::string request;  // what the device heard before answering
    std::vector<int> waits;
    ClubSensor sensor{prompts, [this](int ms) {
                          waits.push_back(ms);
                          request += device.Heard(0);
                          if (reply.empty()) return;
                          device.Play(reply);
                          reply.clear();
                          // Let the bytes reach the port before the sensor reads them.
                          pollfd ready{device.Slave(), POLLIN, 0};
                          ::poll(&ready, 1, 1000);
                      }};
};

double ModelSpeed(double ballSpeed) {
    shot::LaunchConditions launch;
    launch.ballSpeed = ballSpeed, launch.launchAngle = 12, launch.sideAngle = 1.5;
    launch.backSpin = 3000, launch.sideSpin = -400;
    return shot::ImpactModel(shot::ReadClubOptions(kyvern::base::SettingsSnapshot::Read()))
        .ClubSpeedFor(launch);
}

// Without a sensor the model gives every value; its loft notice comes with them, and a
// recompute after a reset fills nothing that was not there but the notice.
TEST(ClubSensor, CalculatedWithoutASensor) {
    SensorRig rig("anything");
    rig.env.Set("Setup", "ClubLoft", "40");
    rig.sensor.SetClubOptions(shot::ReadClubOptions(kyvern::base::SettingsSnapshot::Read()));
    EXPECT_EQ(rig.sensor.Type(), shot::SensorKind::kCalculated);
    EXPECT_EQ(rig.sensor.PortNumber(), 0);
    rig.Shot();
    EXPECT_TRUE(rig.waits.empty() && rig.prompts.messages.empty());
    EXPECT_FALSE(rig.Calculated());
    EXPECT_DOUBLE_EQ(rig.sensor.ClubSpeed(), ModelSpeed(220));
    const shot::ClubData& club = rig.sensor.Club();
    EXPECT_TRUE(club.effectiveLoft.Present() && club.loftMismatch);
    EXPECT_FALSE(club.tempo.Present());

    rig.sensor.Recompute(200, 12, 1.5, 3000, -400);
    EXPECT_DOUBLE_EQ(rig.sensor.ClubSpeed(), ModelSpeed(200));
    rig.sensor.Reset();
    rig.sensor.Recompute(200, 12, 1.5, 3000, -400);
    EXPECT_FALSE(club.clubSpeed.Present() || club.effectiveLoft.Present());
    EXPECT_TRUE(club.loftMismatch);
    EXPECT_EQ(rig.sensor.ClubSpeed(), 0.0);
}

TEST(ClubSensor, EachDeviceOnAPortAndItsSilence) {
    // Type word, the device's report, the speed it gives, what the device heard first and
    // the bytes left in the buffer.
    const struct {
        const char* type;
        std::string reply;
        double speed;
        const char* request;
        int left;
    } devices[] = {{"Lazer", "junk F67\r", LazerSpeed(0xF67), "", 0},
                   {"DxCaddy", Caddy("x|541|||"), 145 * kMph, "", 0},
                   {"swingmate", "abc 85.3\r", 85.3 * kMph, "", 0},
                   {"Maruman", "X345", 34.5 / 0.9144 * 3, "R", 4}};
    for (const auto& d : devices) {
        SCOPED_TRACE(d.type);
        SensorRig rig(d.type);
        ASSERT_EQ(rig.sensor.PortNumber(), 1);
        rig.reply = d.reply;
        rig.Shot();
        EXPECT_EQ(rig.waits, std::vector<int>{ClubSensor::kReportWait});
        EXPECT_EQ(rig.request, d.request);
        EXPECT_DOUBLE_EQ(rig.sensor.ClubSpeed(), d.speed);
        EXPECT_FALSE(rig.Calculated());
        EXPECT_EQ(rig.sensor.Buffer().fill, d.left);
        EXPECT_TRUE(rig.sensor.Club().faceAngle.Present());  // from the model
        rig.sensor.Recompute(150, 10, 0, 2500, 100);         // keeps the measured speed
        EXPECT_DOUBLE_EQ(rig.sensor.ClubSpeed(), d.speed);

        // Silent, or garbage: the speed is calculated and flagged.
        rig.Shot();
        EXPECT_TRUE(rig.Calculated());
        EXPECT_DOUBLE_EQ(rig.sensor.ClubSpeed(), ModelSpeed(220));
        rig.reply = "\xff\xfe garbage \x01\x02";
        rig.Shot();
        EXPECT_TRUE(rig.Calculated());
    }
}

TEST(ClubSensor, DistanceCaddyKeepsAPartialReportAndPollsBetweenShots) {
    SensorRig rig("DxCaddy");
    rig.reply = Caddy("x|541|");  // only two separators so far
    rig.Shot();
    EXPECT_TRUE(rig.Calculated());
    EXPECT_EQ(rig.sensor.Buffer().fill, 6);
    rig.reply = Caddy("||");
    rig.Shot();
    EXPECT_FALSE(rig.Calculated());
    EXPECT_DOUBLE_EQ(rig.sensor.ClubSpeed(), 145 * kMph);

    // Garbage between shots keeps filling the buffer through the timer's polls.
    rig.device.Play(std::string(300, '#'));
    for (int i = 0; i < 50 && rig.sensor.Buffer().fill < 200; ++i)
        rig.sensor.Poll();
    EXPECT_EQ(rig.sensor.Buffer().fill, 200);
    rig.Shot();
    EXPECT_TRUE(rig.Calculated());
}

TEST(ClubSensor, GolfTekHandednessAndRecompute) {
    SensorRig rig("GolfTek Pro V");
    EXPECT_EQ(rig.device.Heard(), "R\r");
    rig.env.Set("Setup", "Handed", "left-HANDED");
    rig.sensor.Configure(kyvern::base::SettingsSnapshot::Read(), false);
    EXPECT_EQ(rig.device.Heard(), "L\r");

    rig.reply = GolfTekFrame(150);
    rig.Shot();
    auto measured = [&] {
        return std::vector<double>{rig.sensor.ClubSpeed(),    rig.sensor.FaceAngle(),
                                   rig.sensor.PathAngle(),    rig.sensor.SecondFaceReading(),
                                   rig.sensor.FaceRotation(), rig.sensor.Tempo(),
                                   rig.sensor.DxFromToe()};
    };
    const std::vector<double> frame = {150, 3, -2, -5, -240, 3, 1.375};
    EXPECT_EQ(measured(), frame);
    const double loft = rig.sensor.EffectiveLoft();
    rig.sensor.Recompute(150, 10, 0, 2500, 100);
    EXPECT_EQ(measured(), frame);
    EXPECT_NE(rig.sensor.EffectiveLoft(), loft);

    // A frame cut short: nothing from the sensor.
    rig.reply = GolfTekFrame(150).substr(0, 12);
    rig.Shot();
    EXPECT_TRUE(rig.Calculated());
    EXPECT_FALSE(rig.sensor.Club().tempo.Present());
}

TEST(ClubSensor, MarumanDropsWhatCameBeforeItsRequest) {
    SensorRig rig("Maruman");
    rig.device.Play("X345");
    rig.sensor.Poll();
    rig.reply = "X3";
    rig.Shot();
    EXPECT_TRUE(rig.Calculated());
}

TEST(ClubSensor, PortFailureLeavesNoPort) {
    SensorRig rig("Lazer");
    rig.env.Set("ClubSensor", "CommPort", "COM2");
    rig.env.Set("Ports", "COM2", rig.env.Path() + "/absent");
    rig.sensor.Configure(kyvern::base::SettingsSnapshot::Read(), true);
    EXPECT_EQ(rig.sensor.PortNumber(), 0);
    ASSERT_EQ(rig.prompts.messages.size(), 1u);
    EXPECT_TRUE(rig.prompts.messages[0].starts_with("Couldn't open COM2"));
    rig.Shot();
    EXPECT_EQ(rig.waits, std::vector<int>{ClubSensor::kReportWait});
    EXPECT_TRUE(rig.Calculated());
    // Lower-case port names are not port names here.
    rig.env.Set("ClubSensor", "CommPort", "com1");
    rig.sensor.Configure(kyvern::base::SettingsSnapshot::Read(), true);
    EXPECT_EQ(rig.prompts.messages.size(), 1u);
    EXPECT_EQ(rig.sensor.PortNumber(), 0);
}

}  // namespace
}  // namespace kyvern::links
