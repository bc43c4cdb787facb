#include <sys/wait.h>
#include <unistd.h>

#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/config_store.h"
#include "flight/flight_model.h"
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

// The status file without its blank lines (the settings writer's own layout) and with the time
// of the shot as "T".
std::string Text(const TempHome& env) {
    const std::string text =
        std::regex_replace(ReadFileText(env.File("statusKyvern.ini")), std::regex("\n\n+"), "\n");
    return std::regex_replace(
        text, std::regex(R"(DateTime=\d\d?/[A-Z][a-z]{2}/\d{4} \d\d:\d\d:\d\d)"), "DateTime=T");
}

// A camera's section: valid or not, its serial number, no error and twenty warning keys.
std::string Camera(int slot, const char* valid, const char* serial,
                   std::vector<std::string> warnings = {}) {
    std::string text = "[Cam" + std::to_string(slot) + "Status]\nValid=" + valid +
                       "\nSerialNumber=" + serial + "\nErrorCode=\n";
    warnings.resize(20);
    for (int k = 0; k < 20; ++k)
        text += "WarnCode" + std::to_string(k) + "=" + warnings[k] + "\n";
    return text;
}

StatusFile MakeStatus() {
    StatusFile status;
    StatusContext& c = status.Context();
    c.title = "Tessaline Kyvern v3.0.1", c.clubDevice = "Kyvern (Calculated)";
    c.cameras[0].present = true, c.cameras[0].serialNumber = 7110123;
    return status;
}

// One shot from the start of its image to its end: every section in order, "%.0f" rounding half
// to even, the weather in force limited, another program's section kept, and the warnings newest
// first with one running number across the cameras, stopping at an empty text.
TEST(StatusFile, SuccessfulShotWritesEverySectionInOrder) {
    TempHome env;
    env.Set("Setup", "ClubMass", "205.5");
    env.Set("Weather", "Temperature", "150");  // limited to 130
    env.Set("Weather", "Barometer", "30.1");
    env.Set("Weather", "WindDir", "370.9");
    testing::WriteFileText(env.File("statusKyvern.ini"), "[Command]\nCapture=1\n");
    StatusFile status = MakeStatus();
    status.Context().executable = "/opt/kyvern/bin/kyvern";
    // The pass's club mass and weather, read from the settings as a pass reads them.
    const kyvern::base::SettingsSnapshot settings = kyvern::base::SettingsSnapshot::Read();
    status.Context().clubMass = settings.Text(kyvern::base::setting::kClubMass);
    status.WriteExecutable();

    status.BeginImage();
    EXPECT_EQ(Get(env, "Status", "Status") + "/" + Get(env, "Status", "Analysis") + "/" +
                  Get(env, "Status", "Lock"),
              "New Image/Processing/Locked");
    status.Context().cameras[0].tookPart = true;
    status.Context().cameras[0].warningTexts = {"first", "second"};
    status.Context().cameras[1] = {true, 7110456, true, "", {"third", "", "fourth"}};
    status.ClearResults();
    status.WriteBall(220.06, 2.6, 2.6, 3100.4, 3000.5, -600.5, 45.25);
    status.WriteClub(150.04, -1.25, 2.0, 3.3, 1.234, 11.0, 1.125, -2.0);
    status.WriteFlight(750.0, -12.0, 800.0, -13.0, 50.0, 90.0, 6.25);
    status.WriteShaft();
    status.WriteGolfer();
    status.WriteWeather(kyvern::flight::ReadFlightOptions(settings).weather);
    status.WriteAnalysis(87.25, 1.456);
    status.CompleteSuccess(false);
    const double pixel[3] = {512.25, 384.5, 40.0};
    const double location[3] = {1.0, -2.5, 45.1234};
    const double rotation[3] = {0.1, 0.2, 0.3};
    status.WriteImageBallData(0, pixel, location, rotation, 180);
    EXPECT_EQ(
        Text(env),
        "[Command]\nCapture=1\n[Status]\nExecutable=/opt/kyvern/bin/kyvern\nStatus=Completed\n"
        "Analysis=Success\nVersion=Tessaline Kyvern v3.0.1\nLock=Unlocked\nErrorCode=\n"
        "DateTime=T\n"
        "[Ball]\nVersion=Kyvern v3.0.1\nDevice=Kyvern: 7110123, 7110456\nDistance=45.2\n"
        "SpeedFPS=220.1\nVerticalAngle=2.6\nSideAngle=3\nTotalSpin=3100\nBackSpin=3000\n"
        "SideSpin=-600\n"
        "[Club]\nVersion=ClubSensor v3.0.0\nDevice=Kyvern (Calculated)\nSpeedFPS=150.0\n"
        "PathAngle=-1.2\nFaceAngle=2.0\nFaceRotation=3.3\nTempo=1.23\nEffectiveLoft=11.0\n"
        "DxFromToe=1.1\nAngleOfAttack=-2.0\nClubMass=205.5\n"
        "[Shaft]\nVersion=Shaft v0.0.0\nDevice=None\n[Golfer]\nVersion=Golfer v0.0.0\nDevice=None\n"
        "[Flight]\nVersion=FlightModel v2.3.1\nCarryDRft=750.0\nCarryOLft=-12.0\n"
        "TotalDRft=800.0\nTotalOLft=-13.0\nRollft=50.0\nMaxAltft=90.0\nFlightTime=6.2\n"
        "[Analysis]\nVersion=Analysis v2.3.1\nLaunchEfficiency=87.2\nPTI=1.46\n"
        "[ImageBallData]\nPixel0=512.2, 384.5, 40.0\nLoc0=1.000, -2.500, 45.123\n"
        "Rot0=0.100, 0.200, 0.300\nLuminance0=180.0\nPixel1=0.0, 0.0, 0.0\n"
        "Loc1=0.000, 0.000, 0.000\nRot1=0.000, 0.000, 0.000\nLuminance1=0.0\n" +
            Camera(0, "True", "7110123", {"second", "first"}) +
            Camera(1, "True", "7110456", {"", "", "fourth"}) + Camera(2, "False", "") +
            Camera(3, "False", "") +
            "[Weather]\nTemperature=130.0\nAltitude=0.0\nBarometer=30.10\nHumidity=50.0\n"
            "WindDirection=10.0\nWindSpeed=0.0\n");

    status.BeginImage();
    status.CompleteSuccess(true);
    EXPECT_EQ(Get(env, "Status", "Analysis"), "Update");
}

// Newest first, numbered on across the cameras, up to twenty keys.
TEST(StatusFile, WarningKeysStopAtTwenty) {
    TempHome env;
    StatusFile status = MakeStatus();
    for (int slot = 0; slot < 2; ++slot) {
        status.Context().cameras[slot].present = status.Context().cameras[slot].tookPart = true;
        for (int w = 0; w < (slot == 0 ? 15 : 10); ++w)
            status.Context().cameras[slot].warningTexts.push_back(
                std::string("w").append(std::to_string(w)));
    }
    status.CompleteSuccess(false);
    EXPECT_EQ(Get(env, "Cam0Status", "WarnCode0") + Get(env, "Cam0Status", "WarnCode14") +
                  Get(env, "Cam1Status", "WarnCode15") + Get(env, "Cam1Status", "WarnCode19") +
                  Get(env, "Cam1Status", "WarnCode20"),
              "w14w0w9w5<absent>");
}

TEST(StatusFile, FailedAnalysisAndDeviceText) {
    TempHome env;
    StatusFile status = MakeStatus();
    status.Context().cameras[0] = {};
    status.Context().cameras[1] = {true, 42, true, "Ball not found", {"ignored"}};
    status.BeginImage();
    status.CompleteTerminated();
    EXPECT_EQ(Get(env, "Status", "ErrorCode"), "<absent>");  // left as it was
    EXPECT_EQ(Get(env, "Status", "Status") + "/" + Get(env, "Status", "Analysis") + "/" +
                  Get(env, "Status", "Lock"),
              "Completed/Terminated/Unlocked");
    EXPECT_EQ(Get(env, "Ball", "Device"), "Kyvern: 42");
    EXPECT_EQ(Get(env, "Cam1Status", "Valid") + "/" + Get(env, "Cam1Status", "SerialNumber") + "/" +
                  Get(env, "Cam1Status", "ErrorCode") + "/" + Get(env, "Cam1Status", "WarnCode0"),
              "True/42/Ball not found/");

    // A success empties the error code, and a later failure leaves it empty.
    status.CompleteSuccess(false);
    status.CompleteTerminated();
    EXPECT_EQ(Get(env, "Status", "ErrorCode"), "");
}

TEST(StatusFile, MeanBallDistanceOverLevelCameras) {
    frame::CapturedImage level, turned;
    level.result.balls[0].loc.z = 40.0;
    level.result.balls[1].loc.z = 44.0;
    level.cameraRotation.x = 0.17453292519943278;  // exactly 10 degrees still counts
    turned.result.balls[0].loc.z = turned.result.balls[1].loc.z = 100.0;
    turned.cameraRotation.x = 0.175;
    EXPECT_DOUBLE_EQ(MeanBallDistance({&level, &turned, nullptr, nullptr}), 42.0);
    EXPECT_DOUBLE_EQ(MeanBallDistance({nullptr, &turned, nullptr, nullptr}), 0.0);
    turned.cameraRotation.x = -0.5;
    EXPECT_DOUBLE_EQ(MeanBallDistance({&level, &turned, nullptr, nullptr}), 71.0);
}

// A reader polling the file while a writer clears and fills it sees whole files only.
TEST(StatusFile, TwoProcessesNeverSeeATornFile) {
    TempHome env;
    StatusFile status = MakeStatus();
    status.ClearResults();
    status.WriteBall(1, 1, 1, 1, 1, 1, 1);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::write(ready[1], "x", 1) != 1) ::_exit(2);
        for (int round = 0; round < 3; ++round) {
            status.BeginImage();
            status.ClearResults();
            status.WriteBall(2, 2, 2, 2, 2, 2, 2);
            status.CompleteSuccess(false);
        }
        ::_exit(0);
    }
    char byte;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::close(ready[0]);
    ::close(ready[1]);
    int snapshots = 0, exitStatus = -1;
    while (::waitpid(child, &exitStatus, WNOHANG) == 0) {
        const std::string text = ReadFileText(env.File("statusKyvern.ini"));
        ++snapshots;
        std::string speed, last;
        ASSERT_TRUE(ConfigStore::FindValue(text, "Ball", "SpeedFPS", speed) &&
                    ConfigStore::FindValue(text, "Cam3Status", "WarnCode19", last))
            << text;
        ASSERT_TRUE(speed == "0.0" || speed == "1.0" || speed == "2.0") << speed;
    }
    EXPECT_TRUE(WIFEXITED(exitStatus) && WEXITSTATUS(exitStatus) == 0);
    EXPECT_GT(snapshots, 1);
    EXPECT_EQ(Get(env, "Ball", "SpeedFPS") + Get(env, "Status", "Lock"), "2.0Unlocked");
}

// The texts of the shot cycle's notifications are pinned where the shot cycle sends them.
TEST(NotificationSlot, LostWithoutAListenerAndRefusedOnceClosed) {
    TempHome env;
    NotificationSlot slot;
    ASSERT_TRUE(slot.Open());
    EXPECT_TRUE(slot.SendAnalysisDone());  // nobody listens yet: lost, not a failure
    PeerSocket listener(kNotificationSlotName);
    ASSERT_TRUE(listener.Bound());
    ASSERT_TRUE(slot.SendConnected(false));
    const std::string connected = Utf16LittleEndian("Kyvern: Not Connected");  // pinned below
    EXPECT_EQ(listener.Receive(1000),
              std::vector<unsigned char>(connected.begin(), connected.end()));
    bool ok = false;
    ASSERT_TRUE(slot.Send(""));
    EXPECT_TRUE(listener.Receive(1000, &ok).empty());
    EXPECT_TRUE(ok);
    slot.Close();
    EXPECT_FALSE(slot.Send("closed"));
}

TEST(NotificationSlot, Utf16Encoding) {
    // Bad input becomes U+FFFD: a stray byte, an overlong form, a cut-short sequence and
    // each byte of an encoded surrogate.
    const std::pair<std::string, std::string> cases[] = {
        {"\xE8\xA7\xA3", "\xE3\x89"},
        {"\xF0\x9F\x8F\x8C", "\x3C\xD8\xCC\xDF"},
        {"\xFF", "\xFD\xFF"},
        {"\xC0\x80", "\xFD\xFF\xFD\xFF"},
        {"\xE8\xA7", "\xFD\xFF\xFD\xFF"},
        {"\xED\xA0\x80", "\xFD\xFF\xFD\xFF\xFD\xFF"}};
    for (const auto& [utf8, utf16] : cases)
        EXPECT_EQ(Utf16LittleEndian(utf8), utf16) << utf8;
}

}  // namespace
}  // namespace kyvern::links
