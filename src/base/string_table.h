#pragma once

#include <string_view>

namespace kyvern::base {

enum class Language { kEnglish, kJapanese };

// Message identifiers of the string tables. Each layer adds its own texts here, in both
// languages, so that a translation is never missing.
enum class MessageId {
    kCouldNotOpenImageFile,
    kImageLoadFailed,
    kImageResolutionTooBig,
    kImageMustBe8Bit,
    kCouldNotCreateImageFile,
    kInvalidClubLoft,
    kInvalidClubMass,
    kAnalysisTerminated,  // format with one %s
    kAnalysisComplete,    // format with one %.3f
    kAnalysisWarning,     // format with one %s
    kCouldNotOpenTrajectoryFile,
    kCouldNotOpenPort,    // format with %d (port number) and %08X (error code)
    kGetCommStateFailed,  // format with one %08X
    kSetCommStateFailed,  // format with one %08X
    kEscapeCommFailed,    // format with one %08X
    // Shot table column headers, columns 0 to 27.
    kColumnItem,
    kColumnShot,
    kColumnPlot,
    kColumnGroupScore,
    kColumnShotScore,
    kColumnBallSpeed,
    kColumnLaunchAngle,
    kColumnTotalSpin,
    kColumnBackSpin,
    kColumnSideSpin,
    kColumnSideAngle,
    kColumnClubSpeed,
    kColumnCarry,
    kColumnOffline,
    kColumnFlightTime,
    kColumnTotal,
    kColumnMaxHeight,
    kColumnSession,
    kColumnUser,
    kColumnUnits,
    kColumnWhen,
    kColumnAngleOfAttack,
    kColumnPathAngle,
    kColumnFaceAngle,
    kColumnEffectiveLoft,
    kColumnClubMass,
    kColumnClubLoft,
    kColumnGroupCount,
    kDeleteRecordsQuestion,
    kDeleteSessionQuestion,
    kCouldNotCreateDataFile,
    kCannotOpenFile,
    kCouldNotOpenShotLog,
    kNoCamerasDetected,
    kNoTriggerMode,
    // The main window's labels (an ampersand marks the mnemonic) and texts.
    kLabelImage,
    kLabelImpact,
    kLabelProfile,
    kLabelShots,
    kLabelDownRange,
    kLabelDeleteLastShot,
    kLabelAnalysis,
    kLabelPlayer,
    kLabelSession,
    kLabelItem,
    kLabelFast,
    kLabelMedium,
    kLabelSlow,
    kLabelSuperSlow,
    kLabelPutt,
    kLabelBrightness,
    kLabelNormal,
    kLabelAdvanced,
    kLabelMarks,
    kLabelMono,
    kLabelPlane,
    kLabelGrid,
    kLabelReports,
    kLabelOpenImage,
    kLabelSaveImage,
    kLabelProgramLauncher,
    kLabelHelp,
    kLabelFile,
    kLabelSaveSession,
    kLabelNewSession,
    kLabelLoadSession,
    kLabelDeleteRecord,
    kLabelSettings,
    kLabelExit,
    kLabelHelpMenu,
    kLabelAbout,
    kLabelSuspendRemote,
    kPanelBall,
    kPanelClub,
    kPanelFlight,
    kPixelReadout,  // format with three %d
    kColourDepthWarning,
    kAboutTitle,
    kImageFilesFilter,
    kTextFilesFilter,
    kAllFilesFilter,
    kSessionLoaded,  // format with two %d
    kCouldNotWriteSettings,
    kFocusMode,
    kCsvExported,  // format with %d (shots) and %s (path)
    kCouldNotCreateCsvFile,
    // The settings dialog: its title, its pages in order, its messages.
    kSettingsTitle,
    kSettingsPageDisplay,
    kSettingsPageCamera,
    kSettingsPageWeather,
    kSettingsPageBallClub,
    kSettingsPageClubSensor,
    kSettingsPageSerialOutput,
    kSettingsPageRouter,
    kSettingsPageRemote,
    kSettingsPageLauncher,
    kSettingsPageSimulator,
    kSettingCalibration,         // format with one %ld (the camera's serial number)
    kSettingNumberBetween,       // format with %s (label), %s, %s (the range)
    kSettingNumber,              // format with one %s (label)
    kSettingWholeNumberBetween,  // format with %s (label), %s, %s (the range)
    kSettingWholeNumber,         // format with one %s (label)
    kSettingRange,               // format with %s, %s (the range)
    kSettingsNotWritten,         // format with one %s (the file)
    kPasswordPrompt,
    kPasswordWrong,
    // The shot analysis window's range checks.
    kInvalidBallSpeed,
    kInvalidLaunchAngle,
    kInvalidSideAngle,
    kInvalidBackSpin,
    kInvalidSideSpin,
    // The shot analysis window's labels, its plot and the practice range.
    kAnalysisTitle,
    kAnalysisShotGroup,
    kAnalysisSpeed,
    kAnalysisSpin,
    kAnalysisLaunch,
    kAnalysisSideSpin,
    kAnalysisSideAngle,
    kAnalysisDegrees,
    kAnalysisPlotColour,
    kAnalysisTableShows,
    kAnalysisAnalyze,
    kAnalysisPlot,
    kAnalysisClearPlot,
    kAnalysisReports,
    kAnalysisExit,
    kColourBlue,
    kColourRed,
    kColourGreen,
    kColourYellow,
    kColourBlack,
    kDistanceRoll,
    kPlotHeight,     // format with one %s
    kPlotDownrange,  // format with one %s
    kPlotShots,      // format with two %d
    kPlotNoShots,
    kRangeLeft,
    kRangeRight,
    kSettingsPageSimLink,
    kSettingsPageStore,
    kSettingsPageWeb,
    kLabelExportCsv,
    kPanelTotalOffline,
    kPanelDescentAngle,
    kPanelLandingSpeed,
    kPanelPutt,
    kPanelStartLine,
    kPanelRoll,
    kPanelBreak,
    kPanelRollTime,
    kSimulatorLinkState,  // format with %s (the link's state)
    kShotStoreState,      // format with %s (connected, error) and %d (shots queued)
    kGuideNotOpened,
    kProcessingImage,
    kCaptureAt,  // a strftime format
    // The drawings' texts; %1, %2 ... are Qt's arguments.
    kDrawImpactTitle,
    kDrawProfileTitle,
    kDrawDownRangeTitle,
    kDrawItemShot,
    kDrawFromAbove,
    kDrawFromSide,
    kDrawTarget,
    kDrawPath,
    kDrawFace,
    kDrawStart,
    kDrawAttack,
    kDrawLoft,
    kDrawLaunch,
    kDrawNoShot,
    kDrawApex,
    kDrawOfflineAxis,
    kDrawItemSummary,
    kDrawGreenTitle,
    kDrawPuttSummary,
    kDrawGreenSlope,
    kDrawHeightChange,
    kDrawNoPutt,
    // The report chooser: its title, groups, buttons and the reports in the order of its boxes.
    kReportsTitle,
    kReportsStandardSize,
    kReportsLabelSize,
    kReportsPrint,
    kReportsSavePdf,
    kReportPracticeRange,
    kReportShotAnalysis,
    kReportShots,
    kReportShotsSummary,
    kReportShotsProfile,
    kReportImpact,
    kReportBallImage,
    kReportBagTag,
    kReportPrinter,
    kCouldNotWriteStatusFile,
    kReportHistory,
    kLabelHistory,
    kHistoryTitle,
    kSpinDoubtfulLabel,
    kSpinDoubtfulValue,
    kSpinDoubtfulNote,
    kHistoryPlayer,
    kHistoryTrend,
    kHistoryClub,
    kHistoryRefresh,
    kHistoryEveryClub,
    kHistoryDate,
    kHistorySession,
    kHistoryShots,
    kHistoryState,       // format with %1 shots, %2 sessions, %3 the store
    kHistoryUnreadable,  // format with %1 the reason
    kCount
};

// The text of a message in the language in force.
std::string_view Text(MessageId id);
std::string_view Text(MessageId id, Language language);

// The language in force for the whole program; English until start-up selects another.
void SetLanguage(Language language);
Language CurrentLanguage();

}  // namespace kyvern::base
