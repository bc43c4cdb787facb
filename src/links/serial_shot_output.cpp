#include "links/serial_shot_output.h"

#include <cmath>
#include <cstdio>

#include "base/settings_snapshot.h"

namespace kyvern::links {

namespace {

constexpr int kBaudRate = 9600;

// A signed field: the magnitude after a minus sign when negative, else the magnitude alone.
// Taking the magnitude in both branches keeps a negative zero from printing a sign.
void AppendSigned(std::string& line, const char* negative, const char* positive, double value) {
    char field[400];
    std::snprintf(field, sizeof field, value < 0 ? negative : positive, std::fabs(value));
    line += field;
}

void AppendMagnitude(std::string& line, const char* format, double value) {
    char field[400];
    std::snprintf(field, sizeof field, format, std::fabs(value));
    line += field;
}

}  // namespace

std::string SerialShotOutput::ShotLine(double ballSpeed, double launchAngle, double backSpin,
                                       double sideSpin, double sideAngle) {
    std::string line(1, '\x02');
    AppendMagnitude(line, "%05.1f", ballSpeed);
    AppendMagnitude(line, "%05.2f", launchAngle);
    AppendSigned(line, "-%05.2f", "%06.2f", sideAngle);
    AppendMagnitude(line, "%06.1f", backSpin / 60.0);
    AppendSigned(line, "-%05.1f", "%06.1f", sideSpin / 60.0);
    int sum = 0;
    for (char c : line)
        sum += static_cast<signed char>(c);
    int digit = ((sum % 256) + 256) % 256 & 0x0F;
    char check[8];
    std::snprintf(check, sizeof check, "%X%X", digit, digit);
    line += check;
    line.resize(kShotLineLength, '\0');
    line[kShotLineLength - 1] = '\r';
    return line;
}

void SerialShotOutput::Configure() {
    const base::SettingsSnapshot settings = base::SettingsSnapshot::Read();
    // Only the exact word "No" keeps the output off.
    if (settings.Text(base::setting::kSerialOutputEnabled) == "No") return;
    std::string port = settings.Text(base::setting::kSerialOutputPort);
    int number = PortNumberOf(port, true);
    port_.Close();
    portNumber_ = 0;
    if (number != 0 && port_.Open(number, kBaudRate, prompts_)) portNumber_ = number;
}

void SerialShotOutput::SendShot(double ballSpeed, double clubSpeed, double launchAngle,
                                double backSpin, double sideSpin, double sideAngle) {
    (void)clubSpeed;
    std::string line = ShotLine(ballSpeed, launchAngle, backSpin, sideSpin, sideAngle);
    if (port_.IsOpen()) port_.Write(line.data(), line.size());
}

}  // namespace kyvern::links
