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
    // The shot analysis window's range checks.
    kInvalidBallSpeed,
    kInvalidLaunchAngle,
    kInvalidSideAngle,
    kInvalidBackSpin,
    kInvalidSideSpin,
    kCount
};

// The text of a message in the language in force.
std::string_view Text(MessageId id);
std::string_view Text(MessageId id, Language language);

// The language in force for the whole program; English until start-up selects another.
void SetLanguage(Language language);
Language CurrentLanguage();

}  // namespace kyvern::base
