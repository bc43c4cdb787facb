#pragma once

#include <string>

namespace kyvern::base {

// The program folder: $KYVERN_HOME, else $XDG_DATA_HOME/Kyvern, else ~/.local/share/Kyvern.
// Read at every call, so a test or a script may point the program elsewhere at any time.
std::string ProgramFolder();
// Creates the folder (and History/ and Docs/) when missing; false when it cannot.
bool EnsureProgramFolder();

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
