#pragma once

// Remote control by files: other programs drive the monitor by dropping an image at a watched
// path and by writing commands into the status file; the program launcher starts a configured
// program. Kept apart from the shot cycle, which it drives through the monitor.

#include <string>
#include <string_view>
#include <vector>

namespace kyvern::app {

class LaunchMonitor;

class RemoteControl {
public:
    explicit RemoteControl(LaunchMonitor& monitor) : monitor_(monitor) {}

    // The watched capture file: a new stamp runs a pass on the file.
    void CheckCaptureFile();
    // The Command keys of the status file, each acted on and reset.
    void CheckCommands();
    // Starts the launcher's program without a shell; its process id, or -1 when none started.
    long LaunchProgram();
    // The keyboard's suspension of remote captures; the headless runner never sets it.
    void SetSuspended(bool suspended) { suspended_ = suspended; }
    bool Suspended() const { return suspended_; }

private:
    void ReapLaunched();

    LaunchMonitor& monitor_;
    bool suspended_ = false;
    std::vector<long> launched_;  // programs started and not yet reaped
};

// "yes" in any case, blanks around it ignored.
bool IsYes(std::string_view text);
// A folder setting as this platform spells it: a leading backslash names a folder of the
// program folder (the default "\Images\"), every backslash is a slash.
std::string PlatformFolder(std::string text);

}  // namespace kyvern::app
