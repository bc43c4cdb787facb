#pragma once

// The window's seam: what the shot cycle, the shot computation, the remote control and the
// automated test show. The window draws it, the headless runner prints some of it, the tests
// record it.

#include <cstdint>
#include <string>

#include "frame/captured_image.h"
#include "links/simulator_link.h"
#include "shot/shot_record.h"
#include "store/queued_store.h"

namespace kyvern::app {

// What the shot cycle shows. The window draws these; the headless runner prints some of them;
// every method does nothing unless overridden.
class MonitorView {
public:
    virtual ~MonitorView() = default;
    // The club values and the score of the current shot (club and index update).
    virtual void ShowClubAndIndex(const shot::ShotRecord& /*shot*/, const std::string& /*label*/) {}
    // The loft-mismatch notice on or off.
    virtual void ShowClubNotice(bool /*on*/) {}
    // The practice range gets each shot before it is checked and recorded.
    virtual void ShowPracticeRange(const shot::ShotRecord& /*shot*/) {}
    // A shot has been recorded (newShot) or computed again, and published.
    virtual void ShotRecorded(const shot::ShotRecord& /*shot*/, bool /*newShot*/) {}
    // A pass ended without a shot.
    virtual void ShotFailed(std::int32_t /*errorCode*/) {}
    // A pass solved a shot too doubtful to record (errorCode is the doubtful-shot code): its
    // confidence and the reasons, "; "-separated. A view that shows failures alike keeps this.
    virtual void ShotRefused(std::int32_t errorCode, double /*confidence*/,
                             const std::string& /*reasons*/) {
        ShotFailed(errorCode);
    }
    virtual void ShowCaptureLabel(const std::string& /*text*/) {}
    virtual void ShowFileLabel(const std::string& /*text*/) {}
    virtual void ShowFrame(int /*slot*/) {}
    virtual void ShowFocusFrame(const frame::CapturedImage& /*frame*/,
                                const std::string& /*text*/) {}
    virtual void SetTitle(const std::string& /*title*/) {}
    // The automated test appended this line (without its line end) to its result file.
    virtual void TestLineWritten(const std::string& /*line*/) {}
    virtual void RefreshAnalysisWindow() {}
    // The settings were reloaded by a command: the window re-applies what it shows.
    virtual void SettingsReloaded() {}
    // A command asked the program to close.
    virtual void CloseRequested() {}
    // The golf simulator link's state changed (the status line).
    virtual void ShowSimulatorLink(const links::SimLinkState& /*state*/) {}
    // A line of the golf simulator link for the user (it also goes to the message list).
    virtual void SimulatorLinkNote(const std::string& /*line*/) {}
    // The shot history's state changed.
    virtual void ShowShotStore(const store::StoreState& /*state*/) {}
};

}  // namespace kyvern::app
