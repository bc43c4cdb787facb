#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "link_fixtures.h"
#include "links/club_sensor.h"
#include "shot/impact_model.h"
#include "support/recording_prompts.h"

namespace kyvern::links {
namespace {

using testing::PseudoTerminal;
using testing::RecordingPrompts;
using testing::TempHome;

constexpr double kMph = 1.4666666666666666;

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
    frame[6] = static_cast<char>(face);
    frame[7] = static_cast<char>(second);
    frame[8] = static_cast<char>(path);
    frame[9] = static_cast<char>(tempoLow);
    frame[10] = static_cast<char>(tempoHigh);
    frame[11] = static_cast<char>(toe);
    frame[12] = static_cast<char>(speed);
    frame[length + 4] = 13;
    return frame;
}

TEST(ClubSensorTable, TypesNamesAndRates) {
    using K = shot::SensorKind;
    const std::pair<const char*, K> words[] = {
        {"None", K::kCalculated}, {"Calculated", K::kCalculated}, {"anything", K::kCalculated},
        {"lazer", K::kLazer},     {"DXCADDY", K::kDistanceCaddy}, {"SwingMate", K::kSwingMate},
        {"GolfTek", K::kGolfTek}, {"golftek pro v", K::kGolfTek}, {"Maruman", K::kMaruman}};
    for (const auto& [word, type] : words)
        EXPECT_EQ(SensorTypeOf(word), type) << word;
    const char* names[] = {"None",      "Kyvern (Calculated)", "Lazer",  "Distance Caddy",
                           "SwingMate", "SensorGolfTek",       "Maruman"};
    const int rates[] = {0, 0, 19200, 300, 9600, 9600, 19200};
    for (int type = 0; type <= 6; ++type) {
        EXPECT_STREQ(SensorDisplayName(K(type)), names[type]);
        EXPECT_EQ(SensorBaudRate(K(type)), rates[type]);
    }
    EXPECT_STREQ(ClubSensor::Version(), "ClubSensor v3.0.0");
}

TEST(ClubSensorBuffer, KeepsTheNewest200PastTwoHundredFifty) {
    SensorBuffer buffer;
    std::vector<std::uint8_t> chunk(100);
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 100; ++i)
            chunk[i] = static_cast<std::uint8_t>(round * 100 + i);
        buffer.Append(chunk.data(), 100);
    }
    for (int i = 0; i < 50; ++i)
        chunk[i] = static_cast<std::uint8_t>(200 + i);
    buffer.Append(chunk.data(), 50);
    EXPECT_EQ(buffer.fill, 250);  // not beyond 250 yet
    buffer.Append(chunk.data(), 1);
    EXPECT_EQ(buffer.fill, 200);
    EXPECT_EQ(buffer.bytes[0], 51);
    EXPECT_EQ(buffer.bytes[198], 249);
    EXPECT_EQ(buffer.bytes[199], 200);
    EXPECT_EQ(buffer.bytes[200], 0);
    EXPECT_EQ(buffer.bytes[250], 0);
}

TEST(ClubSensorParsers, Lazer) {
    // A count of 0 is an infinite speed: rejected.
    shot::ClubData reading;
    SensorBuffer buffer = BufferOf("x 0\r");
    ParseLazer(buffer, reading);
    EXPECT_EQ(buffer.fill, 0);
    EXPECT_FALSE(reading.clubSpeed.Present());
    EXPECT_EQ(reading.clubSpeed.Value(), 0.0);

    // Too slow (a large count) is rejected too; 2 ft/s still counts.
    buffer = BufferOf(" FFFFFF\r");
    ParseLazer(buffer, reading);
    EXPECT_FALSE(reading.clubSpeed.Present());
    double count2 = std::floor(4.0 / (2 * 5.636e-7) / 12);  // just above 2 ft/s
    char text[32];
    std::snprintf(text, sizeof text, " %lx\r", static_cast<unsigned long>(count2));
    buffer = BufferOf(text);
    ParseLazer(buffer, reading);
    EXPECT_TRUE(reading.clubSpeed.Present());

    // Without a blank the text starts after the first byte; one byte is no reading.
    reading.Clear();
    buffer = BufferOf("9F67\r");
    ParseLazer(buffer, reading);
    EXPECT_DOUBLE_EQ(reading.clubSpeed.Value(), 4.0 / (3943 * 5.636e-7) / 12);
    buffer = BufferOf("5");
    ParseLazer(buffer, reading);
    EXPECT_EQ(buffer.fill, 1);
    buffer = BufferOf("x zz\r");
    ParseLazer(buffer, reading);
    EXPECT_EQ(buffer.fill, 5);  // no number: kept
}

TEST(ClubSensorParsers, DistanceCaddy) {
    shot::ClubData reading;
    // The separator at position 0 is not looked at: only three count, the buffer stays.
    SensorBuffer buffer = BufferOf(
        "\x17"
        "541\x17\x17\x17");
    ParseDistanceCaddy(buffer, reading);
    EXPECT_EQ(buffer.fill, 7);
    EXPECT_FALSE(reading.clubSpeed.Present());

    // The last four separators count; a slow swing is out of range.
    buffer = BufferOf(
        "x\x17"
        "999\x17\x17\x17"
        "\x17"
        "041\x17\x17\x17");
    ParseDistanceCaddy(buffer, reading);
    EXPECT_DOUBLE_EQ(reading.clubSpeed.Value(), 140 * kMph);
    buffer = BufferOf(
        "x\x17"
        "100\x17\x17\x17");  // 1 mph
    ParseDistanceCaddy(buffer, reading);
    EXPECT_FALSE(reading.clubSpeed.Present());
    buffer = BufferOf(
        "x\x17"
        "abc\x17\x17\x17");
    ParseDistanceCaddy(buffer, reading);
    EXPECT_EQ(buffer.fill, 0);
    EXPECT_FALSE(reading.clubSpeed.Present());
}

TEST(ClubSensorParsers, SwingMate) {
    // A blank below position 3 is not looked for: the first four bytes are read as they are.
    shot::ClubData reading;
    SensorBuffer buffer = BufferOf("90.5\r");
    ParseSwingMate(buffer, reading);
    EXPECT_DOUBLE_EQ(reading.clubSpeed.Value(), 90.5 * kMph);
    reading.Clear();
    buffer = BufferOf("ab 85.3\r");
    ParseSwingMate(buffer, reading);
    EXPECT_FALSE(reading.clubSpeed.Present());

    // The last byte received is dropped: a report cut short reads what is left.
    buffer = BufferOf("abc 85.3");
    ParseSwingMate(buffer, reading);
    EXPECT_DOUBLE_EQ(reading.clubSpeed.Value(), 85 * kMph);
    reading.Clear();
    buffer = BufferOf("9");
    ParseSwingMate(buffer, reading);
    EXPECT_EQ(buffer.fill, 0);
    EXPECT_FALSE(reading.clubSpeed.Present());

    // A full buffer of blanks reads nothing and touches nothing beyond the buffer.
    buffer.bytes.fill(' ');
    buffer.fill = SensorBuffer::kCapacity;
    ParseSwingMate(buffer, reading);
    EXPECT_EQ(buffer.fill, 0);
    EXPECT_FALSE(reading.clubSpeed.Present());
}

TEST(ClubSensorParsers, GolfTekFrames) {
    shot::ClubData reading;
    double second = 0;
    // The speed boundary: 10 is rejected, 11 accepted; no face rotation without a speed.
    SensorBuffer buffer = BufferOf(GolfTekFrame(10));
    ParseGolfTek(buffer, reading, second);
    EXPECT_FALSE(reading.clubSpeed.Present());
    EXPECT_FALSE(reading.faceRotation.Present());
    EXPECT_TRUE(reading.faceAngle.Present());
    buffer = BufferOf(GolfTekFrame(11));
    ParseGolfTek(buffer, reading, second);
    EXPECT_DOUBLE_EQ(reading.clubSpeed.Value(), 11);

    // No face rotation with a square face; tempo must lie inside 0.1 to 10.
    reading.Clear();
    buffer = BufferOf(GolfTekFrame(100, 0x80, 0x05, 0x0F, 0xE8, 0x03));
    ParseGolfTek(buffer, reading, second);
    EXPECT_FALSE(reading.faceRotation.Present());
    EXPECT_DOUBLE_EQ(reading.pathAngle.Value(), 15);
    EXPECT_FALSE(reading.tempo.Present());
    buffer = BufferOf(GolfTekFrame(100, 0x80, 0x05, 0x0F, 10, 0));
    ParseGolfTek(buffer, reading, second);
    EXPECT_FALSE(reading.tempo.Present());
    buffer = BufferOf(GolfTekFrame(100, 0x80, 0x05, 0x0F, 11, 0));
    ParseGolfTek(buffer, reading, second);
    EXPECT_DOUBLE_EQ(reading.tempo.Value(), 0.11);

    // Only the frame that ends with the received bytes counts; junk before a frame is skipped.
    reading.Clear();
    buffer = BufferOf("zz" + GolfTekFrame(60) + "q" + GolfTekFrame(70, 3, 5, 1, 44, 1, 0, 20));
    ParseGolfTek(buffer, reading, second);
    EXPECT_DOUBLE_EQ(reading.clubSpeed.Value(), 70);

    // Frames that fail give nothing and empty the buffer.
    for (const std::string& bad :
         {GolfTekFrame(70, 3, 5, 1, 44, 1, 0, 13, 3), GolfTekFrame(70).substr(0, 17),
          GolfTekFrame(70) + GolfTekFrame(80).substr(0, 10), std::string("no frame here at all"),
          GolfTekFrame(70, 3, 5, 1, 44, 1, 0, 30).substr(0, 25)}) {
        reading.Clear();
        buffer = BufferOf(bad);
        ParseGolfTek(buffer, reading, second);
        EXPECT_EQ(buffer.fill, 0);
        EXPECT_FALSE(reading.clubSpeed.Present());
    }
    std::string wrongEnd = GolfTekFrame(70);
    wrongEnd.back() = 10;
    buffer = BufferOf(wrongEnd);
    ParseGolfTek(buffer, reading, second);
    EXPECT_FALSE(reading.clubSpeed.Present());
}

TEST(ClubSensorParsers, Maruman) {
    shot::ClubData reading;
    SensorBuffer buffer = BufferOf("X345\r");
    ParseMaruman(buffer, reading);
    EXPECT_DOUBLE_EQ(reading.clubSpeed.Value(), 34.5 / 0.9144 * 3);
    for (const char* partial : {"X34", "X", "X??5", "X005"}) {
        reading.Clear();
        buffer = BufferOf(partial);
        ParseMaruman(buffer, reading);
        EXPECT_FALSE(reading.clubSpeed.Present()) << partial;
    }
}

// A sensor played by a pseudo-terminal; the injected wait is where the device answers.
struct SensorRig {
    explicit SensorRig(const char* type) {
        env.Set("ClubSensor", "Type", type);
        env.Set("ClubSensor", "CommPort", "COM1");
        env.Set("Ports", "COM1", device.DevicePath());
    }
    TempHome env;
    PseudoTerminal device;
    RecordingPrompts prompts;
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

double ModelSpeed(double v, double l, double s, double b, double p) {
    shot::ImpactModel model;
    shot::LaunchConditions launch;
    launch.ballSpeed = v;
    launch.launchAngle = l;
    launch.sideAngle = s;
    launch.backSpin = b;
    launch.sideSpin = p;
    return model.ClubSpeedFor(launch);
}

TEST(ClubSensor, CalculatedWithoutASensor) {
    TempHome env;
    RecordingPrompts prompts;
    std::vector<int> waits;
    ClubSensor sensor(prompts, [&](int ms) { waits.push_back(ms); });
    EXPECT_EQ(sensor.Type(), shot::SensorKind::kCalculated);
    env.Set("ClubSensor", "CommPort", "COM1");
    sensor.Configure(true);
    EXPECT_EQ(sensor.Type(), shot::SensorKind::kCalculated);  // "None" by default
    EXPECT_STREQ(sensor.DeviceName(), "Kyvern (Calculated)");
    EXPECT_EQ(sensor.PortNumber(), 0);
    EXPECT_TRUE(prompts.messages.empty());
    sensor.ReadShot(220, 12, 1.5, 3000, -400);
    EXPECT_TRUE(waits.empty());
    EXPECT_FALSE(sensor.SpeedCalculated());
    EXPECT_DOUBLE_EQ(sensor.ClubSpeed(), ModelSpeed(220, 12, 1.5, 3000, -400));
    EXPECT_DOUBLE_EQ(sensor.ClubSpeedMph(), sensor.ClubSpeed() * 3600 / 5280);
    EXPECT_TRUE(sensor.Club().effectiveLoft.Present());
    EXPECT_FALSE(sensor.Club().tempo.Present());
    EXPECT_EQ(sensor.Tempo(), 0.0);

    // Recomputing overwrites every modelled value, flags untouched.
    double before = sensor.ClubSpeed();
    sensor.Recompute(200, 12, 1.5, 3000, -400);
    EXPECT_NE(sensor.ClubSpeed(), before);
    EXPECT_DOUBLE_EQ(sensor.ClubSpeed(), ModelSpeed(200, 12, 1.5, 3000, -400));
    sensor.Reset();
    EXPECT_EQ(sensor.ClubSpeed(), 0.0);
    EXPECT_FALSE(sensor.Club().clubSpeed.Present());
}

TEST(ClubSensor, LazerOnAPort) {
    SensorRig rig("Lazer");
    rig.sensor.Configure(true);
    ASSERT_EQ(rig.sensor.PortNumber(), 1);
    EXPECT_STREQ(rig.sensor.DeviceName(), "Lazer");
    rig.reply = "junk F67\r";
    rig.sensor.ReadShot(220, 12, 1.5, 3000, -400);
    EXPECT_EQ(rig.waits, std::vector<int>{250});
    EXPECT_DOUBLE_EQ(rig.sensor.ClubSpeed(), 4.0 / (3943 * 5.636e-7) / 12);
    EXPECT_FALSE(rig.sensor.SpeedCalculated());
    EXPECT_TRUE(rig.sensor.Club().faceAngle.Present());  // from the model

    // Recomputing keeps the measured speed.
    double measured = rig.sensor.ClubSpeed();
    rig.sensor.Recompute(150, 10, 0, 2500, 100);
    EXPECT_DOUBLE_EQ(rig.sensor.ClubSpeed(), measured);

    // Silent: the speed is calculated and flagged.
    rig.sensor.ReadShot(220, 12, 1.5, 3000, -400);
    EXPECT_TRUE(rig.sensor.SpeedCalculated());
    EXPECT_DOUBLE_EQ(rig.sensor.ClubSpeed(), ModelSpeed(220, 12, 1.5, 3000, -400));

    // A count of 0: infinite, rejected, calculated.
    rig.reply = " 0\r";
    rig.sensor.ReadShot(220, 12, 1.5, 3000, -400);
    EXPECT_TRUE(rig.sensor.SpeedCalculated());
}

TEST(ClubSensor, DistanceCaddyKeepsAPartialReport) {
    SensorRig rig("DxCaddy");
    rig.sensor.Configure(true);
    ASSERT_EQ(rig.sensor.PortNumber(), 1);
    rig.reply =
        "x\x17"
        "541\x17";  // only two separators so far
    rig.sensor.ReadShot(220, 12, 1.5, 3000, -400);
    EXPECT_TRUE(rig.sensor.SpeedCalculated());
    EXPECT_EQ(rig.sensor.Buffer().fill, 6);
    rig.reply = "\x17\x17";
    rig.sensor.ReadShot(220, 12, 1.5, 3000, -400);
    EXPECT_FALSE(rig.sensor.SpeedCalculated());
    EXPECT_DOUBLE_EQ(rig.sensor.ClubSpeed(), 145 * kMph);
    EXPECT_EQ(rig.sensor.Buffer().fill, 0);

    // Garbage between shots keeps filling the buffer through the timer's polls.
    rig.device.Play(std::string(300, '#'));
    for (int i = 0; i < 50 && rig.sensor.Buffer().fill < 200; ++i)
        rig.sensor.Poll();
    EXPECT_EQ(rig.sensor.Buffer().fill, 200);
    rig.sensor.ReadShot(220, 12, 1.5, 3000, -400);
    EXPECT_TRUE(rig.sensor.SpeedCalculated());
}

TEST(ClubSensor, SwingMateAndGarbage) {
    SensorRig rig("swingmate");
    rig.sensor.Configure(true);
    ASSERT_EQ(rig.sensor.PortNumber(), 1);
    rig.reply = "abc 85.3\r";
    rig.sensor.ReadShot(220, 12, 1.5, 3000, -400);
    EXPECT_DOUBLE_EQ(rig.sensor.ClubSpeed(), 85.3 * kMph);
    EXPECT_EQ(rig.sensor.Buffer().fill, 0);
    rig.reply = "\xff\xfe garbage \x01\x02";
    rig.sensor.ReadShot(220, 12, 1.5, 3000, -400);
    EXPECT_TRUE(rig.sensor.SpeedCalculated());
    EXPECT_EQ(rig.sensor.Buffer().fill, 0);
}

TEST(ClubSensor, GolfTekHandednessAndRecompute) {
    SensorRig rig("GolfTek Pro V");
    rig.sensor.Configure(true);
    ASSERT_EQ(rig.sensor.PortNumber(), 1);
    EXPECT_STREQ(rig.sensor.DeviceName(), "SensorGolfTek");
    EXPECT_EQ(rig.device.Heard(), "R\r");
    rig.env.Set("Setup", "Handed", "left-HANDED");
    rig.sensor.Configure(false);
    EXPECT_EQ(rig.device.Heard(), "L\r");

    rig.reply = GolfTekFrame(150);
    rig.sensor.ReadShot(220, 12, 1.5, 3000, -400);
    EXPECT_DOUBLE_EQ(rig.sensor.ClubSpeed(), 150);
    EXPECT_DOUBLE_EQ(rig.sensor.FaceAngle(), 3);
    EXPECT_DOUBLE_EQ(rig.sensor.PathAngle(), -2);
    EXPECT_DOUBLE_EQ(rig.sensor.SecondFaceReading(), -5);
    EXPECT_DOUBLE_EQ(rig.sensor.FaceRotation(), -240);
    EXPECT_DOUBLE_EQ(rig.sensor.Tempo(), 3);
    EXPECT_DOUBLE_EQ(rig.sensor.DxFromToe(), 1.375);
    double loft = rig.sensor.EffectiveLoft();
    rig.sensor.Recompute(150, 10, 0, 2500, 100);
    EXPECT_DOUBLE_EQ(rig.sensor.ClubSpeed(), 150);
    EXPECT_DOUBLE_EQ(rig.sensor.FaceAngle(), 3);
    EXPECT_DOUBLE_EQ(rig.sensor.PathAngle(), -2);
    EXPECT_NE(rig.sensor.EffectiveLoft(), loft);

    // A frame cut short: nothing from the sensor.
    rig.reply = GolfTekFrame(150).substr(0, 12);
    rig.sensor.ReadShot(220, 12, 1.5, 3000, -400);
    EXPECT_TRUE(rig.sensor.SpeedCalculated());
    EXPECT_FALSE(rig.sensor.Club().tempo.Present());
}

TEST(ClubSensor, MarumanRequestAndReply) {
    SensorRig rig("Maruman");
    rig.sensor.Configure(true);
    ASSERT_EQ(rig.sensor.PortNumber(), 1);
    rig.reply = "X345";
    rig.sensor.ReadShot(220, 12, 1.5, 3000, -400);
    EXPECT_EQ(rig.request, "R");
    EXPECT_DOUBLE_EQ(rig.sensor.ClubSpeed(), 34.5 / 0.9144 * 3);
    EXPECT_FALSE(rig.sensor.SpeedCalculated());
    // Whatever came in before the request is dropped.
    rig.device.Play("stale");
    rig.sensor.Poll();
    rig.reply = "X3";
    rig.sensor.ReadShot(220, 12, 1.5, 3000, -400);
    EXPECT_TRUE(rig.sensor.SpeedCalculated());
}

TEST(ClubSensor, PortFailureLeavesNoPort) {
    TempHome env;
    env.Set("ClubSensor", "Type", "Lazer");
    env.Set("ClubSensor", "CommPort", "COM2");
    env.Set("Ports", "COM2", env.Path() + "/absent");
    RecordingPrompts prompts;
    std::vector<int> waits;
    ClubSensor sensor(prompts, [&](int ms) { waits.push_back(ms); });
    sensor.Configure(true);
    EXPECT_EQ(sensor.PortNumber(), 0);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0], "Couldn't open COM2, code = 00000002 (" + env.Path() +
                                       "/absent: No such file or directory)");
    sensor.ReadShot(220, 12, 1.5, 3000, -400);
    EXPECT_EQ(waits, std::vector<int>{250});
    EXPECT_TRUE(sensor.SpeedCalculated());
    // Lower-case port names are not port names here.
    env.Set("ClubSensor", "CommPort", "com2");
    sensor.Configure(true);
    EXPECT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(sensor.PortNumber(), 0);
}

}  // namespace
}  // namespace kyvern::links
