#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace kyvern::base {

// What a setting's text means, and so how the settings dialog offers it.
enum class SettingKind { kText, kNumber, kInteger, kYesNo, kOnOff, kChoice };

// Every key of the settings file. A family of keys (one per camera, port or list entry) is
// one entry whose key is a printf pattern over one long.
enum class SettingId : int {
    // Setup
    kHanded,
    kSpeedDisplay,
    kDistanceDisplay,
    kTotalSpinDisplay,
    kTerminalDisplay,
    kDxPopupDisplay,
    kShowImpactData,
    kBallInfoFontColor,
    kClubInfoFontColor,
    kFlightInfoFontColor,
    kBall,
    kHeightAboveGround,
    kClubMass,
    kClubLoft,
    kPredictWithSpin,
    kPerformanceIndex,
    kPracticeRange,
    kViewType,
    kImageHistorySize,
    kShowTiming,
    kShowBallData,
    kCameraVA,
    kCameraSA,
    kCameraTilt,
    kLanguage,
    kAllowMultipleInstances,
    kHideWindow,
    kMinimizeWindow,
    kMinimized,
    kAdvSettingsPassword,
    kAnalysisThreads,
    // Camera
    kCameraSpeed,
    kCameraBrightness,
    kCameraMode,
    kCameraSelected,
    kCameraCalibration,
    kCameraDriver,
    // Weather
    kWeatherUnits,
    kAltitude,
    kTemperature,
    kHumidity,
    kBarometer,
    kWindSpeed,
    kWindDir,
    // ClubSensor, SerialOutput, Router, Ports
    kClubSensorType,
    kClubSensorPort,
    kSerialOutputEnabled,
    kSerialOutputPort,
    kRouterClientId,
    kRouterTargetId,
    kTeeLocation,
    kPortDevice,
    // Remote, RegressionTest, ProgramLauncher
    kCaptureFile,
    kCaptureFileModified,
    kUpdateAnalysisDialog,
    kRegressionTest,
    kRegressionContinuous,
    kRegressionTimeBetween,
    kRegressionDirectory,
    kLauncherExecutable,
    kLauncherArguments,
    kLauncherButtonLabel,
    kLauncherDefaultDir,
    // ImageDisplay
    kOverlayGrid,
    kOverlayMono,
    kOverlayMarks,
    kOverlayPlanes,
    // GridSetup: one width per shot-table column
    kItemWidth,
    kShotWidth,
    kPlotWidth,
    kBallSpeedWidth,
    kLaunchAngleWidth,
    kSideAngleWidth,
    kTotalSpinWidth,
    kBackSpinWidth,
    kSideSpinWidth,
    kClubSpeedWidth,
    kScoreWidth,
    kGroupScoreWidth,
    kDrCarryWidth,
    kOlCarryWidth,
    kSessionWidth,
    kUserWidth,
    kFlightTimeWidth,
    kTotalWidth,
    kMaxAltWidth,
    kUnitsWidth,
    kTimeWidth,
    kAttackWidth,
    kPathAngleWidth,
    kFaceAngleWidth,
    kEffLoftWidth,
    kClubMassWidth,
    kClubLoftWidth,
    // MRU, RunOnce, Analysis
    kMostRecentSession,
    kRecentUser,
    kRecentSession,
    kRecentItem,
    kRunOnceDateTime,
    kPlotColor,
    kDistanceType,
    kPrecision,
    kMinConfidence,
    // Putting
    kPuttingStimp,
    kPuttingSlopePercent,
    kPuttingSlopeDirection,
    // Simulator
    kSimulatorCameras,
    kSimulatorResolution,
    kSimulatorShotPeriod,
    kSimulatorSeed,
    kSimulatorRealism,
    // SimulatorLink
    kSimLinkProtocol,
    kSimLinkHost,
    kSimLinkPort,
    kSimLinkDeviceId,
    kSimLinkHeartbeatSeconds,
    kSimLinkFollowClub,
    // Store
    kStoreUrl,
    kStoreBay,
    // Web
    kWebPort,
    kWebListen,
    kWebToken,
    kCount
};

// The handles the code names a setting by: base::setting::kClubMass.
namespace setting {
using enum SettingId;
}

// The words of every choice key, each list written once: the enum of its values and the words
// the settings file holds are made from the same list, so they cannot drift apart.
#define KYVERN_CHOICE_HAND(X) X(kRightHanded, "Right-handed") X(kLeftHanded, "Left-handed")
#define KYVERN_CHOICE_SPEED_UNIT(X) X(kMph, "MPH") X(kFps, "FPS") X(kKph, "KPH") X(kMps, "MPS")
#define KYVERN_CHOICE_DISTANCE_UNIT(X) X(kYards, "Yards") X(kFeet, "Feet") X(kMeters, "Meters")
#define KYVERN_CHOICE_POPUP(X) \
    X(kNever, "0") X(k5Seconds, "5") X(k10Seconds, "10") X(kAlways, "Always")
#define KYVERN_CHOICE_PERFORMANCE_INDEX(X) X(kLe, "LE") X(kPti, "PTI") X(kNone, "None")
#define KYVERN_CHOICE_MONITOR(X) \
    X(kNone, "None") X(kMon1, "Mon1") X(kMon2, "Mon2") X(kMon3, "Mon3") X(kMon4, "Mon4")
#define KYVERN_CHOICE_VIEW(X) \
    X(kProfile, "Profile")    \
    X(kImage, "Image") X(kImpact, "Impact") X(kDownrange, "Downrange") X(kShots, "Shots")
#define KYVERN_CHOICE_LANGUAGE(X) \
    X(kEnglish, "English")        \
    X(kJapanese, "Japanese")      \
    X(kGerman, "German") X(kFrench, "French") X(kSpanish, "Spanish") X(kKorean, "Korean")
#define KYVERN_CHOICE_CAMERA_SPEED(X) \
    X(kFast, "Fast")                  \
    X(kMedium, "Medium") X(kSlow, "Slow") X(kSuperSlow, "SuperSlow") X(kPutt, "Putt")
#define KYVERN_CHOICE_CAMERA_MODE(X) \
    X(kSingleCam, "SingleCam")       \
    X(kMultiCam, "MultiCam") X(kMultiFrame, "MultiFrame") X(kCamFocus, "CamFocus")
#define KYVERN_CHOICE_CAMERA_DRIVER(X) \
    X(kAuto, "Auto") X(kSimulated, "Simulated") X(kIidc, "IIDC") X(kGenICam, "GenICam")
#define KYVERN_CHOICE_WEATHER_UNITS(X) X(kEnglish, "English") X(kMetric, "Metric")
#define KYVERN_CHOICE_SENSOR_TYPE(X) \
    X(kNone, "None")                 \
    X(kLazer, "Lazer")               \
    X(kDxCaddy, "DxCaddy")           \
    X(kSwingMate, "SwingMate") X(kMaruman, "Maruman") X(kGolfTekProV, "GolfTek Pro V")
#define KYVERN_CHOICE_PORT(X)                                                            \
    X(kNone, "None")                                                                     \
    X(kCom1, "COM1")                                                                     \
    X(kCom2, "COM2")                                                                     \
    X(kCom3, "COM3") X(kCom4, "COM4") X(kCom5, "COM5") X(kCom6, "COM6") X(kCom7, "COM7") \
        X(kCom8, "COM8")
#define KYVERN_CHOICE_RESOLUTION(X) X(k1024x768, "1024x768") X(k640x480, "640x480")
#define KYVERN_CHOICE_PRECISION(X) X(kStandard, "Standard") X(kRefined, "Refined")
#define KYVERN_CHOICE_SIM_PROTOCOL(X) \
    X(kNone, "None") X(kOpenConnect, "OpenConnect") X(kOpenGolfSim, "OpenGolfSim")

#define KYVERN_CHOICE_ENUMERATOR(name, word) name,
#define KYVERN_CHOICE_WORD(name, word) word,

// The typed values of the choice keys, in the order of their words.
namespace choice {
enum class Hand { KYVERN_CHOICE_HAND(KYVERN_CHOICE_ENUMERATOR) };
enum class SpeedUnit { KYVERN_CHOICE_SPEED_UNIT(KYVERN_CHOICE_ENUMERATOR) };
enum class DistanceUnit { KYVERN_CHOICE_DISTANCE_UNIT(KYVERN_CHOICE_ENUMERATOR) };
enum class Popup { KYVERN_CHOICE_POPUP(KYVERN_CHOICE_ENUMERATOR) };
enum class PerformanceIndex { KYVERN_CHOICE_PERFORMANCE_INDEX(KYVERN_CHOICE_ENUMERATOR) };
enum class Monitor { KYVERN_CHOICE_MONITOR(KYVERN_CHOICE_ENUMERATOR) };
enum class View { KYVERN_CHOICE_VIEW(KYVERN_CHOICE_ENUMERATOR) };
enum class Language { KYVERN_CHOICE_LANGUAGE(KYVERN_CHOICE_ENUMERATOR) };
enum class CameraSpeed { KYVERN_CHOICE_CAMERA_SPEED(KYVERN_CHOICE_ENUMERATOR) };
enum class CameraMode { KYVERN_CHOICE_CAMERA_MODE(KYVERN_CHOICE_ENUMERATOR) };
enum class CameraDriver { KYVERN_CHOICE_CAMERA_DRIVER(KYVERN_CHOICE_ENUMERATOR) };
enum class WeatherUnits { KYVERN_CHOICE_WEATHER_UNITS(KYVERN_CHOICE_ENUMERATOR) };
enum class SensorType { KYVERN_CHOICE_SENSOR_TYPE(KYVERN_CHOICE_ENUMERATOR) };
enum class Port { KYVERN_CHOICE_PORT(KYVERN_CHOICE_ENUMERATOR) };
enum class Resolution { KYVERN_CHOICE_RESOLUTION(KYVERN_CHOICE_ENUMERATOR) };
enum class Precision { KYVERN_CHOICE_PRECISION(KYVERN_CHOICE_ENUMERATOR) };
enum class SimProtocol { KYVERN_CHOICE_SIM_PROTOCOL(KYVERN_CHOICE_ENUMERATOR) };
}  // namespace choice

struct SettingRange {
    double low = 0.0;
    double high = 0.0;
    constexpr bool Bounded() const { return low < high; }
};

struct SettingSpec {
    SettingId id;
    const char* section;
    const char* key;  // a printf pattern over one long for a family ("User%ld")
    const char* defaultText;
    SettingKind kind;
    std::size_t length;  // the reader's buffer: a longer value is cut to length - 1
    SettingRange range;  // numbers: the values the program takes; unbounded when low == high
    std::span<const char* const> choices;  // the words of yes/no, on/off and choice keys
    const char* label;                     // English label of the settings dialog
    // The settings dialog's page: "Display", "Camera", "Weather", "BallClub", "ClubSensor",
    // "SerialOutput", "Router", "Remote", "Launcher", "Simulator" or "SimLink"; empty for keys that
    // only the program or the main window's own controls keep.
    const char* page;
};

namespace schema_detail {
using enum SettingId;
using enum SettingKind;

inline constexpr const char* kYesNoWords[] = {"Yes", "No"};
inline constexpr const char* kOnOffWords[] = {"On", "Off"};
inline constexpr const char* kHands[] = {KYVERN_CHOICE_HAND(KYVERN_CHOICE_WORD)};
inline constexpr const char* kSpeedUnits[] = {KYVERN_CHOICE_SPEED_UNIT(KYVERN_CHOICE_WORD)};
inline constexpr const char* kDistanceUnits[] = {KYVERN_CHOICE_DISTANCE_UNIT(KYVERN_CHOICE_WORD)};
inline constexpr const char* kPopups[] = {KYVERN_CHOICE_POPUP(KYVERN_CHOICE_WORD)};
inline constexpr const char* kIndexes[] = {KYVERN_CHOICE_PERFORMANCE_INDEX(KYVERN_CHOICE_WORD)};
inline constexpr const char* kMonitors[] = {KYVERN_CHOICE_MONITOR(KYVERN_CHOICE_WORD)};
inline constexpr const char* kViews[] = {KYVERN_CHOICE_VIEW(KYVERN_CHOICE_WORD)};
inline constexpr const char* kLanguages[] = {KYVERN_CHOICE_LANGUAGE(KYVERN_CHOICE_WORD)};
inline constexpr const char* kSpeeds[] = {KYVERN_CHOICE_CAMERA_SPEED(KYVERN_CHOICE_WORD)};
inline constexpr const char* kModes[] = {KYVERN_CHOICE_CAMERA_MODE(KYVERN_CHOICE_WORD)};
inline constexpr const char* kDrivers[] = {KYVERN_CHOICE_CAMERA_DRIVER(KYVERN_CHOICE_WORD)};
inline constexpr const char* kWeatherUnitWords[] = {
    KYVERN_CHOICE_WEATHER_UNITS(KYVERN_CHOICE_WORD)};
inline constexpr const char* kSensors[] = {KYVERN_CHOICE_SENSOR_TYPE(KYVERN_CHOICE_WORD)};
inline constexpr const char* kPorts[] = {KYVERN_CHOICE_PORT(KYVERN_CHOICE_WORD)};
inline constexpr const char* kResolutions[] = {KYVERN_CHOICE_RESOLUTION(KYVERN_CHOICE_WORD)};
inline constexpr const char* kPrecisions[] = {KYVERN_CHOICE_PRECISION(KYVERN_CHOICE_WORD)};
inline constexpr const char* kSimProtocols[] = {KYVERN_CHOICE_SIM_PROTOCOL(KYVERN_CHOICE_WORD)};

// The words each choice enum is read from.
template <class E>
inline constexpr std::span<const char* const> kWordsOf{};
template <>
inline constexpr std::span<const char* const> kWordsOf<choice::Hand> = kHands;
template <>
inline constexpr std::span<const char* const> kWordsOf<choice::SpeedUnit> = kSpeedUnits;
template <>
inline constexpr std::span<const char* const> kWordsOf<choice::DistanceUnit> = kDistanceUnits;
template <>
inline constexpr std::span<const char* const> kWordsOf<choice::Popup> = kPopups;
template <>
inline constexpr std::span<const char* const> kWordsOf<choice::PerformanceIndex> = kIndexes;
template <>
inline constexpr std::span<const char* const> kWordsOf<choice::Monitor> = kMonitors;
template <>
inline constexpr std::span<const char* const> kWordsOf<choice::View> = kViews;
template <>
inline constexpr std::span<const char* const> kWordsOf<choice::Language> = kLanguages;
template <>
inline constexpr std::span<const char* const> kWordsOf<choice::CameraSpeed> = kSpeeds;
template <>
inline constexpr std::span<const char* const> kWordsOf<choice::CameraMode> = kModes;
template <>
inline constexpr std::span<const char* const> kWordsOf<choice::CameraDriver> = kDrivers;
template <>
inline constexpr std::span<const char* const> kWordsOf<choice::WeatherUnits> = kWeatherUnitWords;
template <>
inline constexpr std::span<const char* const> kWordsOf<choice::SensorType> = kSensors;
template <>
inline constexpr std::span<const char* const> kWordsOf<choice::Port> = kPorts;
template <>
inline constexpr std::span<const char* const> kWordsOf<choice::Resolution> = kResolutions;
template <>
inline constexpr std::span<const char* const> kWordsOf<choice::Precision> = kPrecisions;
template <>
inline constexpr std::span<const char* const> kWordsOf<choice::SimProtocol> = kSimProtocols;

constexpr SettingRange Between(double low, double high) { return {low, high}; }
inline constexpr SettingRange kAny{};
inline constexpr SettingRange kColour = Between(0.0, 16777215.0);
inline constexpr SettingRange kWidth = Between(1.0, 2147483647.0);
inline constexpr std::span<const char* const> kNoWords{};

// Keys the program keeps for itself are on no page; the rest are offered by the dialog.
inline constexpr std::array<SettingSpec, static_cast<std::size_t>(kCount)> kTable{{
    {kHanded, "Setup", "Handed", "Right-handed", kChoice, 20, kAny, kHands, "Handedness",
     "Display"},
    {kSpeedDisplay, "Setup", "SpeedDisplay", "MPH", kChoice, 20, kAny, kSpeedUnits, "Speed units",
     "Display"},
    {kDistanceDisplay, "Setup", "DistanceDisplay", "Yards", kChoice, 20, kAny, kDistanceUnits,
     "Distance units", "Display"},
    {kTotalSpinDisplay, "Setup", "TotalSpinDisplay", "No", kYesNo, 20, kAny, kYesNoWords,
     "Show total spin", "Display"},
    {kTerminalDisplay, "Setup", "TerminalDisplay", "Yes", kYesNo, 20, kAny, kYesNoWords,
     "Terminal display", "Display"},
    {kDxPopupDisplay, "Setup", "DxPopupDisplay", "0", kChoice, 20, kAny, kPopups, "Distance pop-up",
     "Display"},
    {kShowImpactData, "Setup", "ShowImpactData", "No", kYesNo, 20, kAny, kYesNoWords,
     "Show impact data", ""},
    {kBallInfoFontColor, "Setup", "BallInfoFontColor", "0", kInteger, 20, kColour, kNoWords,
     "Ball panel text colour", "Display"},
    {kClubInfoFontColor, "Setup", "ClubInfoFontColor", "0", kInteger, 20, kColour, kNoWords,
     "Club panel text colour", "Display"},
    {kFlightInfoFontColor, "Setup", "FlightInfoFontColor", "0", kInteger, 20, kColour, kNoWords,
     "Flight panel text colour", "Display"},
    {kBall, "Setup", "Ball", "Golf Ball", kText, 80, kAny, kNoWords, "Ball type", "BallClub"},
    {kHeightAboveGround, "Setup", "HeightAboveGround", "-1", kInteger, 20, kAny, kNoWords,
     "Ball height above ground (in)", ""},
    {kClubMass, "Setup", "ClubMass", "200.0", kNumber, 20, Between(100.0, 700.0), kNoWords,
     "Club head mass (g)", "BallClub"},
    {kClubLoft, "Setup", "ClubLoft", "10.0", kNumber, 20, Between(2.0, 75.0), kNoWords,
     "Club loft (degrees)", "BallClub"},
    {kPredictWithSpin, "Setup", "PredictWithSpin", "Yes", kYesNo, 20, kAny, kYesNoWords,
     "Route the measured back spin", ""},
    {kPerformanceIndex, "Setup", "PerformanceIndex", "LE", kChoice, 20, kAny, kIndexes,
     "Performance index", "Display"},
    {kPracticeRange, "Setup", "PracticeRange", "None", kChoice, 20, kAny, kMonitors,
     "Practice range monitor", "Display"},
    {kViewType, "Setup", "ViewType", "", kChoice, 20, kAny, kViews, "Last view", ""},
    {kImageHistorySize, "Setup", "ImageHistorySize", "50", kInteger, 20, Between(0.0, 10000.0),
     kNoWords, "Frames kept in the history", ""},
    {kShowTiming, "Setup", "ShowTiming", "No", kYesNo, 20, kAny, kYesNoWords,
     "Show analysis timing", ""},
    {kShowBallData, "Setup", "ShowBallData", "No", kYesNo, 20, kAny, kYesNoWords,
     "Show analysis ball data", ""},
    {kCameraVA, "Setup", "CameraVA", "0.0", kNumber, 20, kAny, kNoWords, "Camera vertical angle",
     ""},
    {kCameraSA, "Setup", "CameraSA", "0.0", kNumber, 20, kAny, kNoWords, "Camera side angle", ""},
    {kCameraTilt, "Setup", "CameraTilt", "0.0", kNumber, 20, kAny, kNoWords, "Camera tilt", ""},
    {kLanguage, "Setup", "Language", "", kChoice, 80, kAny, kLanguages, "Language", "Display"},
    {kAllowMultipleInstances, "Setup", "AllowMultipleInstances", "", kYesNo, 80, kAny, kYesNoWords,
     "Allow a second instance", ""},
    {kHideWindow, "Setup", "HideWindow", "no", kYesNo, 20, kAny, kYesNoWords, "Start hidden", ""},
    {kMinimizeWindow, "Setup", "MinimizeWindow", "no", kYesNo, 20, kAny, kYesNoWords,
     "Start minimised", ""},
    {kMinimized, "Setup", "Minimized", "no", kYesNo, 20, kAny, kYesNoWords,
     "Start minimised (kept)", ""},
    {kAdvSettingsPassword, "Setup", "AdvSettingsPassword", "", kText, 20, kAny, kNoWords,
     "Advanced settings password", ""},
    {kAnalysisThreads, "Setup", "AnalysisThreads", "2", kInteger, 20, Between(1.0, 2.0), kNoWords,
     "Analysis threads (1 leaves a core free)", ""},

    {kCameraSpeed, "Camera", "Speed", "Medium", kChoice, 20, kAny, kSpeeds, "Camera speed",
     "Camera"},
    {kCameraBrightness, "Camera", "Brightness", "1", kInteger, 20, Between(0.0, 10.0), kNoWords,
     "Brightness", "Camera"},
    {kCameraMode, "Camera", "Mode", "SingleCam", kChoice, 20, kAny, kModes, "Camera mode",
     "Camera"},
    {kCameraSelected, "Camera", "Selected", "0", kInteger, 20, kAny, kNoWords,
     "Selected camera (serial number)", "Camera"},
    {kCameraCalibration, "Camera", "%ld", "", kText, 50, kAny, kNoWords,
     "Camera calibration: name,x,y,z,a,b,c,", "Camera"},
    {kCameraDriver, "Camera", "Driver", "Auto", kChoice, 20, kAny, kDrivers, "Camera driver",
     "Camera"},

    {kWeatherUnits, "Weather", "Units", "English", kChoice, 20, kAny, kWeatherUnitWords,
     "Weather units", "Weather"},
    {kAltitude, "Weather", "Altitude", "0.0", kNumber, 20, Between(0.0, 12000.0), kNoWords,
     "Altitude (ft)", "Weather"},
    {kTemperature, "Weather", "Temperature", "70.0", kNumber, 20, Between(20.0, 130.0), kNoWords,
     "Temperature (F)", "Weather"},
    {kHumidity, "Weather", "Humidity", "50", kNumber, 20, Between(0.0, 100.0), kNoWords,
     "Humidity (%)", "Weather"},
    {kBarometer, "Weather", "Barometer", "29.92", kNumber, 20, Between(28.0, 32.0), kNoWords,
     "Barometer (inHg)", "Weather"},
    {kWindSpeed, "Weather", "WindSpeed", "0.0", kNumber, 20, Between(0.0, 40.0), kNoWords,
     "Wind speed (mph)", "Weather"},
    {kWindDir, "Weather", "WindDir", "0.0", kNumber, 20, Between(0.0, 359.0), kNoWords,
     "Wind direction (degrees)", "Weather"},

    {kClubSensorType, "ClubSensor", "Type", "None", kChoice, 20, kAny, kSensors, "Club sensor",
     "ClubSensor"},
    {kClubSensorPort, "ClubSensor", "CommPort", "", kChoice, 20, kAny, kPorts, "Club sensor port",
     "ClubSensor"},
    {kSerialOutputEnabled, "SerialOutput", "Enabled", "No", kYesNo, 20, kAny, kYesNoWords,
     "Serial shot output", "SerialOutput"},
    {kSerialOutputPort, "SerialOutput", "CommPort", "", kChoice, 20, kAny, kPorts,
     "Serial output port", "SerialOutput"},
    {kRouterClientId, "Router", "ClientID", "3", kInteger, 20, kAny, kNoWords,
     "Router client number", "Router"},
    {kRouterTargetId, "Router", "TargetID", "5", kInteger, 20, kAny, kNoWords,
     "Router target client", "Router"},
    {kTeeLocation, "Router", "TeeLocation", "0,0", kText, 20, kAny, kNoWords, "Tee location",
     "Router"},
    {kPortDevice, "Ports", "COM%ld", "", kText, 260, kAny, kNoWords, "Serial device path", ""},

    {kCaptureFile, "Remote", "CaptureFile", "", kText, 260, kAny, kNoWords, "Watched image file",
     "Remote"},
    {kCaptureFileModified, "Remote", "CaptureFileModified", "", kText, 260, kAny, kNoWords,
     "Watched file's last stamp", ""},
    {kUpdateAnalysisDialog, "Remote", "UpdateAnalysisDialog", "No", kYesNo, 260, kAny, kYesNoWords,
     "Refresh the analysis window", "Remote"},
    {kRegressionTest, "RegressionTest", "Test", "No", kYesNo, 20, kAny, kYesNoWords,
     "Run the automated test", "Remote"},
    {kRegressionContinuous, "RegressionTest", "Continuous", "No", kYesNo, 20, kAny, kYesNoWords,
     "Repeat the automated test", "Remote"},
    {kRegressionTimeBetween, "RegressionTest", "TimeBetween", "3000", kInteger, 20,
     Between(100.0, 15000.0), kNoWords, "Milliseconds between images", "Remote"},
    {kRegressionDirectory, "RegressionTest", "Directory", "\\Images\\", kText, 80, kAny, kNoWords,
     "Image folder", "Remote"},
    {kLauncherExecutable, "ProgramLauncher", "ExecutablePath", "", kText, 80, kAny, kNoWords,
     "Program", "Launcher"},
    {kLauncherArguments, "ProgramLauncher", "Arguments", "", kText, 80, kAny, kNoWords, "Arguments",
     "Launcher"},
    {kLauncherButtonLabel, "ProgramLauncher", "ButtonLabel", "", kText, 80, kAny, kNoWords,
     "Button label", "Launcher"},
    {kLauncherDefaultDir, "ProgramLauncher", "DefaultDir", "c:\\", kText, 80, kAny, kNoWords,
     "Working folder", "Launcher"},

    {kOverlayGrid, "ImageDisplay", "Grid", "Off", kOnOff, 20, kAny, kOnOffWords, "Grid", ""},
    {kOverlayMono, "ImageDisplay", "Mono", "Off", kOnOff, 20, kAny, kOnOffWords, "Mono", ""},
    {kOverlayMarks, "ImageDisplay", "Marks", "Off", kOnOff, 20, kAny, kOnOffWords, "Marks", ""},
    {kOverlayPlanes, "ImageDisplay", "Planes", "Off", kOnOff, 20, kAny, kOnOffWords, "Planes", ""},

    {kItemWidth, "GridSetup", "ItemWidth", "", kInteger, 80, kWidth, kNoWords, "Item", ""},
    {kShotWidth, "GridSetup", "ShotWidth", "", kInteger, 80, kWidth, kNoWords, "Shot", ""},
    {kPlotWidth, "GridSetup", "PlotWidth", "", kInteger, 80, kWidth, kNoWords, "Plot", ""},
    {kBallSpeedWidth, "GridSetup", "BallSpeedWidth", "", kInteger, 80, kWidth, kNoWords,
     "Ball speed", ""},
    {kLaunchAngleWidth, "GridSetup", "LaunchAngleWidth", "", kInteger, 80, kWidth, kNoWords,
     "Launch angle", ""},
    {kSideAngleWidth, "GridSetup", "SideAngleWidth", "", kInteger, 80, kWidth, kNoWords,
     "Side angle", ""},
    {kTotalSpinWidth, "GridSetup", "TotalSpinWidth", "", kInteger, 80, kWidth, kNoWords,
     "Total spin", ""},
    {kBackSpinWidth, "GridSetup", "BackSpinWidth", "", kInteger, 80, kWidth, kNoWords, "Back spin",
     ""},
    {kSideSpinWidth, "GridSetup", "SideSpinWidth", "", kInteger, 80, kWidth, kNoWords, "Side spin",
     ""},
    {kClubSpeedWidth, "GridSetup", "ClubSpeedWidth", "", kInteger, 80, kWidth, kNoWords,
     "Club speed", ""},
    {kScoreWidth, "GridSetup", "ScoreWidth", "", kInteger, 80, kWidth, kNoWords, "Score", ""},
    {kGroupScoreWidth, "GridSetup", "GroupScoreWidth", "", kInteger, 80, kWidth, kNoWords,
     "Group score", ""},
    {kDrCarryWidth, "GridSetup", "drCarryWidth", "", kInteger, 80, kWidth, kNoWords, "Carry", ""},
    {kOlCarryWidth, "GridSetup", "olCarryWidth", "", kInteger, 80, kWidth, kNoWords,
     "Carry offline", ""},
    {kSessionWidth, "GridSetup", "SessionWidth", "", kInteger, 80, kWidth, kNoWords, "Session", ""},
    {kUserWidth, "GridSetup", "UserWidth", "", kInteger, 80, kWidth, kNoWords, "Player", ""},
    {kFlightTimeWidth, "GridSetup", "FlightTimeWidth", "", kInteger, 80, kWidth, kNoWords,
     "Flight time", ""},
    {kTotalWidth, "GridSetup", "TotalWidth", "", kInteger, 80, kWidth, kNoWords, "Total", ""},
    {kMaxAltWidth, "GridSetup", "MaxAltWidth", "", kInteger, 80, kWidth, kNoWords, "Height", ""},
    {kUnitsWidth, "GridSetup", "UnitsWidth", "", kInteger, 80, kWidth, kNoWords, "Units", ""},
    {kTimeWidth, "GridSetup", "TimeWidth", "", kInteger, 80, kWidth, kNoWords, "Time", ""},
    {kAttackWidth, "GridSetup", "AttackWidth", "", kInteger, 80, kWidth, kNoWords,
     "Angle of attack", ""},
    {kPathAngleWidth, "GridSetup", "PathAngleWidth", "", kInteger, 80, kWidth, kNoWords,
     "Path angle", ""},
    {kFaceAngleWidth, "GridSetup", "FaceAngleWidth", "", kInteger, 80, kWidth, kNoWords,
     "Face angle", ""},
    {kEffLoftWidth, "GridSetup", "EffLoftWidth", "", kInteger, 80, kWidth, kNoWords,
     "Effective loft", ""},
    {kClubMassWidth, "GridSetup", "ClubMassWidth", "", kInteger, 80, kWidth, kNoWords, "Club mass",
     ""},
    {kClubLoftWidth, "GridSetup", "ClubLoftWidth", "", kInteger, 80, kWidth, kNoWords, "Club loft",
     ""},

    {kMostRecentSession, "MRU", "MostRecentSession", "", kText, 80, kAny, kNoWords,
     "Last session file", ""},
    {kRecentUser, "MRU", "User%ld", "", kText, 80, kAny, kNoWords, "Recent player", ""},
    {kRecentSession, "MRU", "Session%ld", "", kText, 80, kAny, kNoWords, "Recent session", ""},
    {kRecentItem, "MRU", "Item%ld", "", kText, 80, kAny, kNoWords, "Recent item", ""},
    {kRunOnceDateTime, "RunOnce", "DateTime", "", kText, 20, kAny, kNoWords, "First run", ""},
    {kPlotColor, "Analysis", "PlotColor", "0", kInteger, 20, Between(0.0, 4.0), kNoWords,
     "Plot colour", ""},
    {kDistanceType, "Analysis", "DistanceType", "0", kInteger, 20, Between(0.0, 2.0), kNoWords,
     "Distance shown", ""},
    {kPrecision, "Analysis", "Precision", "Standard", kChoice, 20, kAny, kPrecisions,
     "Analysis precision", "Camera"},
    {kMinConfidence, "Analysis", "MinConfidence", "0.5", kNumber, 20, Between(0.0, 1.0), kNoWords,
     "Least confidence of a published shot", "Camera"},
    {kPuttingStimp, "Putting", "Stimp", "10", kNumber, 20, Between(6.0, 15.0), kNoWords,
     "Green speed (stimp, ft)", ""},
    {kPuttingSlopePercent, "Putting", "SlopePercent", "0", kNumber, 20, Between(0.0, 10.0),
     kNoWords, "Green slope (%)", ""},
    {kPuttingSlopeDirection, "Putting", "SlopeDirection", "0", kNumber, 20, Between(-360.0, 360.0),
     kNoWords, "Direction the green falls towards (degrees)", ""},

    {kSimulatorCameras, "Simulator", "Cameras", "1", kInteger, 20, Between(0.0, 4.0), kNoWords,
     "Simulated cameras", "Simulator"},
    {kSimulatorResolution, "Simulator", "Resolution", "1024x768", kChoice, 20, kAny, kResolutions,
     "Simulated resolution", "Simulator"},
    {kSimulatorShotPeriod, "Simulator", "ShotPeriod", "4", kNumber, 20, Between(0.0, 3600.0),
     kNoWords, "Seconds between simulated shots", "Simulator"},
    {kSimulatorSeed, "Simulator", "Seed", "1", kInteger, 20, kAny, kNoWords, "Simulator seed",
     "Simulator"},
    {kSimulatorRealism, "Simulator", "Realism", "none", kText, 80, kAny, kNoWords,
     "Simulated camera effects", "Simulator"},

    {kSimLinkProtocol, "SimulatorLink", "Protocol", "None", kChoice, 20, kAny, kSimProtocols,
     "Golf simulator protocol", "SimLink"},
    {kSimLinkHost, "SimulatorLink", "Host", "127.0.0.1", kText, 256, kAny, kNoWords,
     "Golf simulator host", "SimLink"},
    // Empty: the protocol's own port (921 for OpenConnect, 3111 for OpenGolfSim).
    {kSimLinkPort, "SimulatorLink", "Port", "", kInteger, 20, Between(1.0, 65535.0), kNoWords,
     "Golf simulator port", "SimLink"},
    {kSimLinkDeviceId, "SimulatorLink", "DeviceID", "Kyvern", kText, 80, kAny, kNoWords,
     "Device name sent to the simulator", "SimLink"},
    {kSimLinkHeartbeatSeconds, "SimulatorLink", "HeartbeatSeconds", "5", kInteger, 20,
     Between(1.0, 60.0), kNoWords, "Seconds between heartbeats", "SimLink"},
    {kSimLinkFollowClub, "SimulatorLink", "FollowClub", "No", kYesNo, 20, kAny, kYesNoWords,
     "Take the club the simulator names", "SimLink"},

    // Empty: the SQLite file kyvern.db in the program's home folder; postgresql://… for a range.
    {kStoreUrl, "Store", "Url", "", kText, 512, kAny, kNoWords, "Shot history store", "Store"},
    {kStoreBay, "Store", "Bay", "1", kText, 80, kAny, kNoWords, "Bay name", "Store"},
    // Empty: no live page.
    {kWebPort, "Web", "Port", "", kInteger, 20, Between(1.0, 65535.0), kNoWords, "Live page port",
     "Web"},
    {kWebListen, "Web", "Listen", "127.0.0.1", kText, 256, kAny, kNoWords, "Live page address",
     "Web"},
    // Generated on first use when the page listens beyond this machine.
    {kWebToken, "Web", "Token", "", kText, 256, kAny, kNoWords, "Live page token", "Web"},
}};

constexpr bool InIdOrder() {
    for (std::size_t i = 0; i < kTable.size(); ++i) {
        if (static_cast<std::size_t>(kTable[i].id) != i) return false;
    }
    return true;
}
static_assert(InIdOrder(), "the settings table lists every handle once, in the order declared");

}  // namespace schema_detail

// The whole table, for the settings dialog and the tests.
constexpr std::span<const SettingSpec> SettingTable() { return schema_detail::kTable; }
constexpr const SettingSpec& Spec(SettingId id) {
    return schema_detail::kTable[static_cast<std::size_t>(id)];
}
// The key of member n of a family ("User3"); the key itself for a single key.
std::string SettingKey(SettingId id, long n);
// The default as "%lf" and "%ld" read it, for readers with a parse of their own.
double DefaultNumber(SettingId id);
long DefaultInteger(SettingId id);

// The enum a choice key's value is: ChoiceOf<setting::kHanded> is choice::Hand.
template <SettingId id>
struct ChoiceKey;
#define KYVERN_CHOICE_KEY(id, E)      \
    template <>                       \
    struct ChoiceKey<SettingId::id> { \
        using type = choice::E;       \
    };
KYVERN_CHOICE_KEY(kHanded, Hand)
KYVERN_CHOICE_KEY(kSpeedDisplay, SpeedUnit)
KYVERN_CHOICE_KEY(kDistanceDisplay, DistanceUnit)
KYVERN_CHOICE_KEY(kDxPopupDisplay, Popup)
KYVERN_CHOICE_KEY(kPerformanceIndex, PerformanceIndex)
KYVERN_CHOICE_KEY(kPracticeRange, Monitor)
KYVERN_CHOICE_KEY(kViewType, View)
KYVERN_CHOICE_KEY(kLanguage, Language)
KYVERN_CHOICE_KEY(kCameraSpeed, CameraSpeed)
KYVERN_CHOICE_KEY(kCameraMode, CameraMode)
KYVERN_CHOICE_KEY(kCameraDriver, CameraDriver)
KYVERN_CHOICE_KEY(kWeatherUnits, WeatherUnits)
KYVERN_CHOICE_KEY(kClubSensorType, SensorType)
KYVERN_CHOICE_KEY(kClubSensorPort, Port)
KYVERN_CHOICE_KEY(kSerialOutputPort, Port)
KYVERN_CHOICE_KEY(kSimulatorResolution, Resolution)
KYVERN_CHOICE_KEY(kPrecision, Precision)
KYVERN_CHOICE_KEY(kSimLinkProtocol, SimProtocol)
#undef KYVERN_CHOICE_KEY
template <SettingId id>
using ChoiceOf = typename ChoiceKey<id>::type;

// The word a typed choice is stored as.
template <class E>
constexpr const char* WordOf(E value) {
    return schema_detail::kWordsOf<E>[static_cast<std::size_t>(value)];
}

namespace schema_detail {
template <SettingId id>
concept Typed = requires {
    typename ChoiceKey<id>::type;
};

template <SettingId id>
constexpr bool ReadsItsWords() {
    if constexpr (Typed<id>) {
        return kTable[static_cast<std::size_t>(id)].choices.data() == kWordsOf<ChoiceOf<id>>.data();
    } else {
        return false;
    }
}

template <std::size_t... i>
constexpr bool EveryChoiceTyped(std::index_sequence<i...>) {
    return ((kTable[i].kind != kChoice || ReadsItsWords<static_cast<SettingId>(i)>()) && ...);
}
static_assert(EveryChoiceTyped(std::make_index_sequence<kTable.size()>()),
              "every choice key reads into the enum of its own words");
}  // namespace schema_detail

// The settings file as a place to write: no value is kept, and reading goes through a
// SettingsSnapshot taken from it, so a pass sees one state of the file. A default-made object
// stands for the program folder's file, found again at each use; one made from a path
// (implicitly, so a path may stand where settings are wanted) for that file.
class Settings {
public:
    Settings() = default;
    Settings(std::string path) : path_(std::move(path)) {}  // NOLINT: a path is settings
    Settings(const char* path) : path_(path) {}             // NOLINT: a path is settings

    // The file a read at this moment goes to.
    std::string Path() const;

    bool Write(SettingId id, std::string_view value) const;
    bool Write(SettingId family, long n, std::string_view value) const;

    // Several keys in one replacement of the file, under the one lock: a reader sees all of
    // them or none, and nothing is written when any of them cannot be.
    struct Change {
        SettingId id;
        long member = 0;  // the member of a family; unused for a single key
        std::string value;
    };
    bool WriteAll(std::span<const Change> changes) const;

private:
    const std::string& File(std::string& found) const;

    std::string path_;
};

}  // namespace kyvern::base
