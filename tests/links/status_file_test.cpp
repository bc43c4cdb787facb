#include <sys/wait.h>
#include <unistd.h>

#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "base/config_store.h"
#include "link_fixtures.h"
#include "links/notification_slot.h"
#include "links/status_file.h"

namespace kyvern::links {
namespace {

using base::ConfigStore;
using testing::PeerSocket;
using testing::ReadFileText;
using testing::TempHome;

std::string Get(const TempHome& env, const char* section, const std::string& key) {
    return ConfigStore::ReadSetting(env.File("statusKyvern.ini"), section, key, "<absent>", 300);
}

// The lines of one section of the status file, without its heading and blank lines.
std::string Section(const TempHome& env, const std::string& name) {
    const std::string text = ReadFileText(env.File("statusKyvern.ini"));
    std::size_t at = text.find("[" + name + "]\n");
    if (at == std::string::npos) return "<absent>";
    at += name.size() + 3;
    const std::size_t end = text.find("\n[", at);
    const std::string body = text.substr(at, end == std::string::npos ? end : end + 1 - at);
    return std::regex_replace(body, std::regex("\n\n+"), "\n");
}

StatusFile MakeStatus() {
    StatusFile status;
    status.Context().title = "Tessaline Kyvern v3.0.1";
    status.Context().clubDevice = "Kyvern (Calculated)";
    status.Context().cameras[0].present = true;
    status.Context().cameras[0].serialNumber = 7110123;
    return status;
}

TEST(StatusFile, FreshClearWritesEverySectionInOrder) {
    TempHome env;
    env.Set("Setup", "ClubMass", "205.5");
    StatusFile status = MakeStatus();
    EXPECT_EQ(status.Path(), env.File("statusKyvern.ini"));
    status.ClearResults();
    std::string expected =
        "[Ball]\nVersion=Kyvern v3.0.1\nDevice=Kyvern: 7110123\nDistance=0.0\nSpeedFPS=0.0\n"
        "VerticalAngle=0.0\nSideAngle=0\nTotalSpin=0\nBackSpin=0\nSideSpin=0\n"
        "[Club]\nVersion=ClubSensor v3.0.0\nDevice=Kyvern (Calculated)\nSpeedFPS=0.0\n"
        "PathAngle=0.0\nFaceAngle=0.0\nFaceRotation=0.0\nTempo=0.00\nEffectiveLoft=0.0\n"
        "DxFromToe=0.0\nAngleOfAttack=0.0\nClubMass=205.5\n"
        "[Shaft]\nVersion=Shaft v0.0.0\nDevice=None\n"
        "[Golfer]\nVersion=Golfer v0.0.0\nDevice=None\n"
        "[Flight]\nVersion=FlightModel v2.3.1\nCarryDRft=0.0\nCarryOLft=0.0\nTotalDRft=0.0\n"
        "TotalOLft=0.0\nRollft=0.0\nMaxAltft=0.0\nFlightTime=0.0\n"
        "[Analysis]\nVersion=Analysis v2.3.1\nLaunchEfficiency=0.0\nPTI=0.00\n"
        "[ImageBallData]\nPixel0=0.0, 0.0, 0.0\nLoc0=0.000, 0.000, 0.000\n"
        "Rot0=0.000, 0.000, 0.000\nLuminance0=0.0\nPixel1=0.0, 0.0, 0.0\n"
        "Loc1=0.000, 0.000, 0.000\nRot1=0.000, 0.000, 0.000\nLuminance1=0.0\n";
    for (int slot = 0; slot < 4; ++slot) {
        expected += "[Cam" + std::to_string(slot) + "Status]\nValid=False\nSerialNumber=\n" +
                    "ErrorCode=\n";
        for (int k = 0; k < 20; ++k)
            expected += "WarnCode" + std::to_string(k) + "=\n";
    }
    // Blank lines between sections are the settings writer's own layout; compare without them.
    std::string text = ReadFileText(env.File("statusKyvern.ini"));
    text = std::regex_replace(text, std::regex("\n\n+"), "\n");
    EXPECT_EQ(text, expected);
}

TEST(StatusFile, SuccessfulShotSequence) {
    TempHome env;
    env.Set("Weather", "Temperature", "150");  // limited to 130
    env.Set("Weather", "Barometer", "30.1");
    env.Set("Weather", "WindDir", "370.9");
    testing::WriteFileText(env.File("statusKyvern.ini"), "[Command]\nCapture=1\n");
    StatusFile status = MakeStatus();
    status.Context().executable = "/opt/kyvern/bin/kyvern";
    status.WriteExecutable();
    EXPECT_EQ(Get(env, "Status", "Executable"), "/opt/kyvern/bin/kyvern");
    EXPECT_FALSE(ExecutablePath().empty());
    EXPECT_EQ(StatusFile().Context().executable, ExecutablePath());

    status.BeginImage();
    EXPECT_EQ(Get(env, "Status", "Status"), "New Image");
    EXPECT_EQ(Get(env, "Status", "Analysis"), "Processing");
    EXPECT_EQ(Get(env, "Status", "Version"), "Tessaline Kyvern v3.0.1");
    EXPECT_EQ(Get(env, "Status", "Lock"), "Locked");

    status.Context().cameras[0].tookPart = true;
    status.Context().cameras[0].warningTexts = {"first", "second"};
    status.Context().cameras[1] = {true, 7110456, true, "", {"third", "", "fourth"}};
    status.ClearResults();
    status.WriteBall(220.06, 2.6, 2.6, 3100.4, 3000.5, -600.5, 45.25);
    status.WriteClub(150.04, -1.25, 2.0, 3.3, 1.234, 11.0, 1.125, -2.0);
    status.WriteFlight(750.0, -12.0, 800.0, -13.0, 50.0, 90.0, 6.25);
    status.WriteShaft();
    status.WriteGolfer();
    status.WriteWeather();
    status.WriteAnalysis(87.25, 1.456);
    status.CompleteSuccess(false);
    const double pixel[3] = {512.25, 384.5, 40.0};
    const double location[3] = {1.0, -2.5, 45.1234};
    const double rotation[3] = {0.1, 0.2, 0.3};
    status.WriteImageBallData(0, pixel, location, rotation, 180);

    // "%.0f" rounds half to even; the club mass is the default, copied; the weather is the
    // one in force, limited.
    EXPECT_EQ(Section(env, "Ball"),
              "Version=Kyvern v3.0.1\nDevice=Kyvern: 7110123, 7110456\nDistance=45.2\n"
              "SpeedFPS=220.1\nVerticalAngle=2.6\nSideAngle=3\nTotalSpin=3100\nBackSpin=3000\n"
              "SideSpin=-600\n");
    EXPECT_EQ(Section(env, "Club"),
              "Version=ClubSensor v3.0.0\nDevice=Kyvern (Calculated)\nSpeedFPS=150.0\n"
              "PathAngle=-1.2\nFaceAngle=2.0\nFaceRotation=3.3\nTempo=1.23\nEffectiveLoft=11.0\n"
              "DxFromToe=1.1\nAngleOfAttack=-2.0\nClubMass=230.0\n");
    EXPECT_EQ(Section(env, "Flight"),
              "Version=FlightModel v2.3.1\nCarryDRft=750.0\nCarryOLft=-12.0\nTotalDRft=800.0\n"
              "TotalOLft=-13.0\nRollft=50.0\nMaxAltft=90.0\nFlightTime=6.2\n");
    EXPECT_EQ(Section(env, "Analysis"),
              "Version=Analysis v2.3.1\nLaunchEfficiency=87.2\nPTI=1.46\n");
    EXPECT_EQ(Section(env, "Weather"),
              "Temperature=130.0\nAltitude=0.0\nBarometer=30.10\nHumidity=50.0\n"
              "WindDirection=10.0\nWindSpeed=0.0\n");
    EXPECT_EQ(Section(env, "ImageBallData").substr(0, 95),
              "Pixel0=512.2, 384.5, 40.0\nLoc0=1.000, -2.500, 45.123\nRot0=0.100, 0.200, 0.300\n"
              "Luminance0=180.0\n");
    EXPECT_EQ(Section(env, "Command"), "Capture=1\n");  // another program's section stays
    EXPECT_EQ(Get(env, "Status", "ErrorCode"), "");
    EXPECT_EQ(Get(env, "Status", "Status"), "Completed");
    EXPECT_EQ(Get(env, "Status", "Analysis"), "Success");
    EXPECT_EQ(Get(env, "Status", "Lock"), "Unlocked");
    EXPECT_TRUE(std::regex_match(Get(env, "Status", "DateTime"),
                                 std::regex(R"(\d{1,2}/[A-Z][a-z]{2}/\d{4} \d\d:\d\d:\d\d)")))
        << Get(env, "Status", "DateTime");
    // Warnings newest first, one running number across the cameras, stopping at an empty text.
    EXPECT_EQ(Section(env, "Cam0Status").substr(0, 87),
              "Valid=True\nSerialNumber=7110123\nErrorCode=\nWarnCode0=second\nWarnCode1=first\n"
              "WarnCode2=\n");
    EXPECT_EQ(Section(env, "Cam1Status").substr(0, 93),
              "Valid=True\nSerialNumber=7110456\nErrorCode=\nWarnCode0=\nWarnCode1=\n"
              "WarnCode2=fourth\nWarnCode3=\n");
    EXPECT_EQ(Get(env, "Cam2Status", "Valid"), "False");

    status.BeginImage();
    status.CompleteSuccess(true);
    EXPECT_EQ(Get(env, "Status", "Analysis"), "Update");
}

TEST(StatusFile, WarningKeysStopAtTwenty) {
    TempHome env;
    StatusFile status = MakeStatus();
    for (int slot = 0; slot < 2; ++slot) {
        status.Context().cameras[slot].present = true;
        status.Context().cameras[slot].tookPart = true;
        for (int w = 0; w < (slot == 0 ? 15 : 10); ++w) {
            status.Context().cameras[slot].warningTexts.push_back(std::string("w") +
                                                                  std::to_string(w));
        }
    }
    status.CompleteSuccess(false);
    EXPECT_EQ(Get(env, "Cam0Status", "WarnCode0"), "w14");
    EXPECT_EQ(Get(env, "Cam0Status", "WarnCode14"), "w0");
    EXPECT_EQ(Get(env, "Cam1Status", "WarnCode15"), "w9");
    EXPECT_EQ(Get(env, "Cam1Status", "WarnCode19"), "w5");
    EXPECT_EQ(Get(env, "Cam1Status", "WarnCode20"), "<absent>");
}

TEST(StatusFile, FailedAnalysisAndDeviceText) {
    TempHome env;
    StatusFile status = MakeStatus();
    status.Context().cameras[0] = {};
    status.Context().cameras[1] = {true, 42, true, "Ball not found", {"ignored"}};
    EXPECT_EQ(status.DeviceText(), "Kyvern: , 42");
    status.BeginImage();
    status.CompleteTerminated();
    EXPECT_EQ(Get(env, "Status", "ErrorCode"), "<absent>");  // left as it was
    EXPECT_EQ(Get(env, "Status", "Status"), "Completed");
    EXPECT_EQ(Get(env, "Status", "Analysis"), "Terminated");
    EXPECT_EQ(Get(env, "Status", "Lock"), "Unlocked");
    EXPECT_EQ(Get(env, "Ball", "Device"), "Kyvern: , 42");
    EXPECT_EQ(Get(env, "Cam0Status", "Valid"), "False");
    EXPECT_EQ(Get(env, "Cam1Status", "Valid"), "True");
    EXPECT_EQ(Get(env, "Cam1Status", "SerialNumber"), "42");
    EXPECT_EQ(Get(env, "Cam1Status", "ErrorCode"), "Ball not found");
    EXPECT_EQ(Get(env, "Cam1Status", "WarnCode0"), "");

    // A success empties the error code, and a later failure leaves it empty.
    status.CompleteSuccess(false);
    status.CompleteTerminated();
    EXPECT_EQ(Get(env, "Status", "ErrorCode"), "");
}

TEST(StatusFile, MeanBallDistanceOverLevelCameras) {
    analysis::CapturedImage level, turned;
    level.result.balls[0].loc.z = 40.0;
    level.result.balls[1].loc.z = 44.0;
    level.cameraRotation.x = 0.17453292519943278;  // exactly 10 degrees still counts
    turned.result.balls[0].loc.z = 100.0;
    turned.result.balls[1].loc.z = 100.0;
    turned.cameraRotation.x = 0.175;
    EXPECT_DOUBLE_EQ(MeanBallDistance({&level, &turned, nullptr, nullptr}), 42.0);
    EXPECT_DOUBLE_EQ(MeanBallDistance({nullptr, &turned, nullptr, nullptr}), 0.0);
    turned.cameraRotation.x = -0.5;
    EXPECT_DOUBLE_EQ(MeanBallDistance({&level, &turned, nullptr, nullptr}), 71.0);
}

// A reader polling the file while a writer clears and fills it sees whole files only, and a
// second program writing its own keys at the same time loses none of them.
TEST(StatusFile, TwoProcessesNeverSeeATornFile) {
    TempHome env;
    StatusFile status = MakeStatus();
    status.ClearResults();
    status.WriteBall(1, 1, 1, 1, 1, 1, 1);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t child = ::fork();
    if (child == 0) {
        ::close(ready[0]);
        if (::write(ready[1], "x", 1) != 1) ::_exit(2);
        for (int round = 0; round < 3; ++round) {
            status.BeginImage();
            status.ClearResults();
            status.WriteBall(2, 2, 2, 2, 2, 2, 2);
            status.CompleteSuccess(false);
        }
        ::_exit(0);
    }
    ::close(ready[1]);
    char byte;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::close(ready[0]);
    int snapshots = 0;
    int keys = 0;
    int status_code = -1;
    while (::waitpid(child, &status_code, WNOHANG) == 0) {
        std::string text = ReadFileText(env.File("statusKyvern.ini"));
        ++snapshots;
        ASSERT_FALSE(text.empty());
        ASSERT_EQ(text.back(), '\n');
        for (const char* section : {"[Ball]", "[Club]", "[Flight]", "[Cam3Status]"}) {
            ASSERT_NE(text.find(section), std::string::npos) << text;
        }
        std::string speed;
        ASSERT_TRUE(ConfigStore::FindValue(text, "Ball", "SpeedFPS", speed));
        ASSERT_TRUE(speed == "0.0" || speed == "1.0" || speed == "2.0") << speed;
        ASSERT_TRUE(ConfigStore::FindValue(text, "Cam3Status", "WarnCode19", speed));
        if (keys < 40) {
            ConfigStore::WriteSetting(env.File("statusKyvern.ini"), "Command",
                                      "Key" + std::to_string(keys), std::to_string(keys));
            ++keys;
        }
    }
    EXPECT_TRUE(WIFEXITED(status_code) && WEXITSTATUS(status_code) == 0);
    EXPECT_GT(snapshots, 1);
    for (int k = 0; k < keys; ++k) {
        EXPECT_EQ(Get(env, "Command", "Key" + std::to_string(k)), std::to_string(k));
    }
    EXPECT_EQ(Get(env, "Ball", "SpeedFPS"), "2.0");
    EXPECT_EQ(Get(env, "Status", "Lock"), "Unlocked");
}

TEST(NotificationSlot, ListenerReceivesUtf16WithoutTerminator) {
    TempHome env;
    NotificationSlot slot;
    ASSERT_TRUE(slot.Open());
    EXPECT_TRUE(slot.SendAnalysisDone());  // nobody listens yet: lost, not a failure
    PeerSocket listener(kNotificationSlotName);
    ASSERT_TRUE(listener.Bound());

    auto expectText = [&](const std::string& text) {
        std::vector<unsigned char> expected;
        for (char c : text) {
            expected.push_back(static_cast<unsigned char>(c));
            expected.push_back(0);
        }
        EXPECT_EQ(listener.Receive(1000), expected) << text;
    };
    ASSERT_TRUE(slot.SendAnalysisDone());
    bool ok = false;
    ASSERT_TRUE(slot.SendAnalysisDone());
    EXPECT_EQ(listener.Receive(1000, &ok).size(), 42u);
    expectText("Kyvern: Analysis Done");
    ASSERT_TRUE(slot.SendNewImage());
    expectText("Kyvern: New Image");
    ASSERT_TRUE(slot.SendAnalysisTerminated());
    expectText("Kyvern: Analysis Terminated");
    ASSERT_TRUE(slot.SendConnected(true));
    expectText("Kyvern: Connected");
    ASSERT_TRUE(slot.SendConnected(false));
    expectText("Kyvern: Not Connected");
    ASSERT_TRUE(slot.Send("Tessaline Kyvern v3.0.1"));
    expectText("Tessaline Kyvern v3.0.1");
    ASSERT_TRUE(slot.Send(""));
    EXPECT_TRUE(listener.Receive(1000, &ok).empty());
    EXPECT_TRUE(ok);
    slot.Close();
    EXPECT_FALSE(slot.Send("closed"));
}

TEST(NotificationSlot, Utf16Encoding) {
    EXPECT_EQ(Utf16LittleEndian("Ab"), std::string("A\0b\0", 4));
    EXPECT_EQ(Utf16LittleEndian("\xE8\xA7\xA3"), "\xE3\x89");              // U+89E3
    EXPECT_EQ(Utf16LittleEndian("\xC3\xA9"), std::string("\xE9\0", 2));    // U+00E9
    EXPECT_EQ(Utf16LittleEndian("\xF0\x9F\x8F\x8C"), "\x3C\xD8\xCC\xDF");  // U+1F3CC
    EXPECT_EQ(Utf16LittleEndian("\xFF"), "\xFD\xFF");
    EXPECT_EQ(Utf16LittleEndian("\xC0\x80"), "\xFD\xFF\xFD\xFF");              // overlong
    EXPECT_EQ(Utf16LittleEndian("\xE8\xA7"), "\xFD\xFF\xFD\xFF");              // cut short
    EXPECT_EQ(Utf16LittleEndian("\xED\xA0\x80"), "\xFD\xFF\xFD\xFF\xFD\xFF");  // surrogate
}

}  // namespace
}  // namespace kyvern::links
