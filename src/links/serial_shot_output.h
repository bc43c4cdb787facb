#pragma once

#include <string>

#include "base/user_prompts.h"
#include "links/serial_port.h"

namespace kyvern::links {

inline constexpr int kShotLineLength = 32;

// Sends one fixed-width line with the ball's launch values on a serial port after each shot,
// for a display or another device attached there.
class SerialShotOutput {
public:
    explicit SerialShotOutput(base::UserPrompts& prompts) : prompts_(prompts) {}

    // Applies SerialOutput/Enabled and SerialOutput/CommPort. With Enabled "No" nothing
    // changes, so a port opened before stays open.
    void Configure();
    // Writes the shot line when a port is open; a failed write is ignored. The club speed is
    // not part of the line.
    void SendShot(double ballSpeed, double clubSpeed, double launchAngle, double backSpin,
                  double sideSpin, double sideAngle);
    // The 32 bytes of the line: start of text, the five fields, the check characters and a
    // carriage return at position 31, where a line widened by a large value is cut.
    static std::string ShotLine(double ballSpeed, double launchAngle, double backSpin,
                                double sideSpin, double sideAngle);

    int PortNumber() const { return portNumber_; }
    static const char* Version() { return "SerialOutput v1.0.1"; }

private:
    base::UserPrompts& prompts_;
    SerialPort port_;
    int portNumber_ = 0;
};

}  // namespace kyvern::links
