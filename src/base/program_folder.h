#pragma once

#include <string>

namespace kyvern::base {

// The program folder: $KYVERN_HOME, else $XDG_DATA_HOME/Kyvern, else ~/.local/share/Kyvern,
// the home folder taken from the user database when $HOME is unset. Empty when the folder
// would lie in a shared temporary folder (a world-writable sticky one such as /tmp), where
// another user could have made it first. Read at every call, so a test or a script may point
// the program elsewhere at any time.
std::string ProgramFolder();
// Creates the folder (and History/ and Docs/) when missing; false, with the reason, when it
// cannot or when the folder is not this user's own.
bool EnsureProgramFolder(std::string* reason = nullptr);
// EnsureProgramFolder, then removes the temporaries that killed writes left in the folder and
// in History/. For the start of a run.
bool OpenProgramFolder(std::string& reason);

// Why a folder cannot hold the program's files: empty when it is a folder owned by this user
// that no one else may write or, when private, even enter (and then not a link either).
std::string UntrustedFolderReason(const std::string& folder, bool privateToUser);

// Full paths of the files the program keeps in its folder.
std::string SettingsPath();                 // "Kyvern.ini"
std::string StatusPath();                   // "statusKyvern.ini"
std::string ShotLogPath();                  // "logKyvern.txt"
std::string TrajectoryPath();               // "flightKyvern.txt"
std::string SideSpinTestPath();             // "SideSpinTest.txt"
std::string LastFramePath();                // "picKyvern.bmp"
std::string LastOverlayPath();              // "picKyvernOverlay.bmp"
std::string HistoryFolder();                // "History/"
std::string HistoryFramePath(long number);  // "History/pic%ld.bmp"
std::string DocsFolder();                   // "Docs/"

}  // namespace kyvern::base
