#include "links/club_sensor.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "base/config_store.h"
#include "base/settings_schema.h"
#include "frame/camera_model.h"

namespace kyvern::links {

using shot::SensorKind;

namespace {

constexpr double kMphToFps = 1.4666666666666666;
constexpr std::uint8_t kBlank = 32;
constexpr std::uint8_t kCaddySeparator = 23;

// A real as "%lf" reads it from the start of text (blanks skipped, an optional sign), in the
// C locale whatever the program's locale is.
bool ScanReal(const std::string& text, double& value) {
    const char* first = text.c_str();
    const char* last = first + text.size();
    while (first < last && (*first == ' ' || (*first >= '\t' && *first <= '\r')))
        ++first;
    if (first < last && *first == '+') ++first;
    auto [end, error] = std::from_chars(first, last, value);
    return error == std::errc() && end != first;
}

// The text of len bytes from start: the bytes up to the first zero, as a C text would end.
std::string TextAt(const SensorBuffer& buffer, int start, int length) {
    std::string text;
    for (int i = start; i < start + length && i < SensorBuffer::kCapacity; ++i) {
        if (buffer.bytes[i] == 0) break;
        text += static_cast<char>(buffer.bytes[i]);
    }
    return text;
}

void AcceptSpeed(shot::ClubData& reading, double speed, bool inRange) {
    if (inRange) {
        reading.clubSpeed.Set(speed);
    } else {
        reading.clubSpeed.Clear();  // set to 0 and left invalid
    }
}

bool WithinSpeedRange(double speed) { return speed >= 2 && speed <= 400; }

double SignedLow(std::uint8_t byte, std::uint8_t mask) {
    double value = byte & mask;
    return (byte & 0x80) ? -value : value;
}

}  // namespace

SensorKind SensorTypeOf(std::string_view word) {
    using base::EqualsNoCase;
    if (EqualsNoCase(word, "Lazer")) return SensorKind::kLazer;
    if (EqualsNoCase(word, "DxCaddy")) return SensorKind::kDistanceCaddy;
    if (EqualsNoCase(word, "SwingMate")) return SensorKind::kSwingMate;
    if (EqualsNoCase(word, "GolfTek") || EqualsNoCase(word, "GolfTek Pro V")) {
        return SensorKind::kGolfTek;
    }
    if (EqualsNoCase(word, "Maruman")) return SensorKind::kMaruman;
    return SensorKind::kCalculated;
}

const char* SensorDisplayName(SensorKind kind) {
    switch (kind) {
        case SensorKind::kNone:
            return "None";
        case SensorKind::kCalculated:
            return "Kyvern (Calculated)";
        case SensorKind::kLazer:
            return "Lazer";
        case SensorKind::kDistanceCaddy:
            return "Distance Caddy";
        case SensorKind::kSwingMate:
            return "SwingMate";
        case SensorKind::kGolfTek:
            return "SensorGolfTek";
        case SensorKind::kMaruman:
            return "Maruman";
        default:
            return "";
    }
}

int SensorBaudRate(SensorKind kind) {
    switch (kind) {
        case SensorKind::kLazer:
            return 19200;
        case SensorKind::kDistanceCaddy:
            return 300;
        case SensorKind::kSwingMate:
        case SensorKind::kGolfTek:
            return 9600;
        case SensorKind::kMaruman:
            return 19200;
        default:
            return 0;
    }
}

void SensorBuffer::Append(const std::uint8_t* data, int count) {
    count = std::max(0, std::min(count, kCapacity - fill));
    std::memcpy(bytes.data() + fill, data, static_cast<std::size_t>(count));
    fill += count;
    if (fill > 250) {
        std::memmove(bytes.data(), bytes.data() + fill - 200, 200);
        std::memset(bytes.data() + 200, 0, kCapacity - 200);
        fill = 200;
    }
}

void ParseLazer(SensorBuffer& buffer, shot::ClubData& reading) {
    if (buffer.fill < 2) return;
    int p = buffer.fill - 2;
    while (p > 0 && buffer.bytes[p] != kBlank)
        --p;
    std::string text = TextAt(buffer, p + 1, buffer.fill - p - 1);
    // "%x": blanks, an optional sign, an optional 0x, hexadecimal digits; the count is an
    // unsigned 32-bit number.
    char* end = nullptr;
    unsigned long count = std::strtoul(text.c_str(), &end, 16);
    if (end == text.c_str()) return;
    buffer.fill = 0;
    auto n = static_cast<std::uint32_t>(count);
    // A count of 0 is an endless period: an infinite speed, out of range.
    double speed = n == 0 ? HUGE_VAL : 4.0 / (n * 5.636e-7) / 12;
    AcceptSpeed(reading, speed, WithinSpeedRange(speed));
}

void ParseDistanceCaddy(SensorBuffer& buffer, shot::ClubData& reading) {
    int found = 0;
    int p = buffer.fill - 1;
    for (; p >= 1; --p) {
        if (buffer.bytes[p] == kCaddySeparator && ++found == 4) break;
    }
    if (found < 4) return;  // kept for the next shot
    buffer.fill = 0;
    // The device sends its digits lowest first.
    std::string text;
    for (int i = 3; i >= 1; --i) {
        if (buffer.bytes[p + i] == 0) break;
        text += static_cast<char>(buffer.bytes[p + i]);
    }
    double mph = 0.0;
    if (!ScanReal(text, mph)) return;
    double speed = mph * kMphToFps;
    AcceptSpeed(reading, speed, WithinSpeedRange(speed));
}

void ParseSwingMate(SensorBuffer& buffer, shot::ClubData& reading) {
    if (buffer.fill < 2) {
        buffer.fill = 0;
        return;
    }
    buffer.fill = std::min(buffer.fill, 498);
    buffer.bytes[buffer.fill - 1] = 0;
    // Only received bytes are searched, and only received bytes are copied: the byte just
    // zeroed ends the text, so nothing beyond it can be part of the reading.
    for (int p = buffer.fill - 1; p >= 3; --p) {
        if (buffer.bytes[p] != kBlank) continue;
        int count = std::min(4, buffer.fill - 1 - p);
        std::memmove(buffer.bytes.data(), buffer.bytes.data() + p + 1,
                     static_cast<std::size_t>(count));
        if (count < 4) buffer.bytes[count] = 0;
        break;
    }
    int received = buffer.fill;
    buffer.fill = 0;
    double mph = 0.0;
    if (!ScanReal(TextAt(buffer, 0, std::min(4, received)), mph)) return;
    double speed = mph * kMphToFps;
    AcceptSpeed(reading, speed, WithinSpeedRange(speed));
}

void ParseGolfTek(SensorBuffer& buffer, shot::ClubData& reading, double& secondFaceReading) {
    int start = 0;
    for (;;) {
        while (start < buffer.fill && buffer.bytes[start] != 'g')
            ++start;
        int remaining = buffer.fill - start;
        if (remaining < 18) break;
        int length = buffer.bytes[start + 2];
        int end = start + length + 5;
        if (end > buffer.fill || buffer.bytes[start + 1] != 2 ||
            buffer.bytes[start + length + 4] != 13) {
            break;
        }
        if (end < buffer.fill) {
            start = end;
            continue;
        }
        const std::uint8_t* frame = buffer.bytes.data() + start;
        double speed = frame[12];
        bool speedAccepted = speed > 10 && speed < 400;
        AcceptSpeed(reading, speed, speedAccepted);
        double path = SignedLow(frame[8], 0x0F);
        if (std::fabs(path) < 16) reading.pathAngle.Set(path);
        secondFaceReading = SignedLow(frame[7], 0x7F);
        double face = SignedLow(frame[6], 0x7F);
        if (std::fabs(face) < 128) reading.faceAngle.Set(face);
        if (std::fabs(secondFaceReading) < 128 && face != 0 && speedAccepted) {
            reading.faceRotation.Set((secondFaceReading - face) * speed * 12 / 60);
        }
        double tempo = (frame[9] + 256.0 * frame[10]) / 100;
        if (tempo > 0.1 && tempo < 10) reading.tempo.Set(tempo);
        double dx = (frame[11] & 0x0F) * 0.25 + 0.625;
        if (dx > -4 && dx < 8) reading.dxFromToe.Set(dx);
        break;
    }
    buffer.fill = 0;
}

void ParseMaruman(SensorBuffer& buffer, shot::ClubData& reading) {
    if (buffer.fill < 2) return;
    buffer.fill = std::min(buffer.fill, 498);
    // The reply c0 c1 c2 c3 reads as c1 c2 "." c3. All four bytes must have arrived: a shorter
    // reply is a partial report and gives no reading.
    if (buffer.fill < 4) return;
    std::string text;
    text += static_cast<char>(buffer.bytes[1]);
    text += static_cast<char>(buffer.bytes[2]);
    text += '.';
    text += static_cast<char>(buffer.bytes[3]);
    text = text.substr(0, text.find('\0'));
    double metresPerSecond = 0.0;
    if (!ScanReal(text, metresPerSecond)) return;
    double speed = metresPerSecond / 0.9144 * 3;
    AcceptSpeed(reading, speed, WithinSpeedRange(speed));
}

ClubSensor::ClubSensor(base::UserPrompts& prompts, Wait wait)
    : prompts_(prompts), wait_(std::move(wait)) {
    if (!wait_) {
        wait_ = [](int milliseconds) {
            std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        };
    }
    Reset();
}

void ClubSensor::Reset() {
    club_.Clear();
    measured_.Clear();
    secondFaceReading_ = 0.0;
    speedCalculated_ = false;
}

void ClubSensor::Configure(const base::SettingsSnapshot& settings, bool resetValues) {
    buffer_.fill = 0;
    if (resetValues) Reset();
    type_ = SensorTypeOf(settings.Text(base::setting::kClubSensorType));
    int number = PortNumberOf(settings.Text(base::setting::kClubSensorPort), false);
    if (type_ == SensorKind::kNone || type_ == SensorKind::kCalculated) number = 0;
    port_.Close();
    portNumber_ = 0;
    if (number == 0) return;
    if (!port_.Open(number, SensorBaudRate(type_), prompts_)) return;
    if (type_ == SensorKind::kGolfTek) {
        const char command[2] = {frame::IsLeftHanded(settings) ? 'L' : 'R', 13};
        port_.Write(command, sizeof command);
    }
    portNumber_ = number;
}

void ClubSensor::Poll() {
    if (!port_.IsOpen()) return;
    std::uint8_t chunk[100];
    std::size_t got = port_.Read(chunk, sizeof chunk);
    buffer_.Append(chunk, static_cast<int>(got));
}

void ClubSensor::WaitAndPoll() {
    wait_(kReportWait);
    Poll();
}

void ClubSensor::ReadDevice(shot::ClubData& reading) {
    switch (type_) {
        case SensorKind::kLazer:
            WaitAndPoll();
            ParseLazer(buffer_, reading);
            break;
        case SensorKind::kDistanceCaddy:
            WaitAndPoll();
            ParseDistanceCaddy(buffer_, reading);
            break;
        case SensorKind::kSwingMate:
            WaitAndPoll();
            ParseSwingMate(buffer_, reading);
            break;
        case SensorKind::kGolfTek:
            WaitAndPoll();
            ParseGolfTek(buffer_, reading, secondFaceReading_);
            break;
        case SensorKind::kMaruman: {
            buffer_.fill = 0;
            const char request = 'R';
            port_.Write(&request, 1);
            WaitAndPoll();
            ParseMaruman(buffer_, reading);
            break;
        }
        default:
            break;
    }
}

namespace {

// The measured launch as it stands, without the holding rules of LaunchConditions::Set.
shot::LaunchConditions Launch(double ballSpeed, double launchAngle, double sideAngle,
                              double backSpin, double sideSpin) {
    shot::LaunchConditions launch;
    launch.ballSpeed = ballSpeed;
    launch.launchAngle = launchAngle;
    launch.sideAngle = sideAngle;
    launch.backSpin = backSpin;
    launch.sideSpin = sideSpin;
    return launch;
}

}  // namespace

void ClubSensor::ReadShot(double ballSpeed, double launchAngle, double sideAngle, double backSpin,
                          double sideSpin) {
    Reset();
    shot::ClubData reading;
    ReadDevice(reading);
    measured_ = reading;
    const shot::LaunchConditions launch =
        Launch(ballSpeed, launchAngle, sideAngle, backSpin, sideSpin);
    BeginShot();
    bool modelSpeed = shot::FillClubData(reading, launch, model_, club_);
    ShowModelMessages();
    speedCalculated_ = modelSpeed && type_ >= SensorKind::kLazer && type_ <= SensorKind::kMaruman;
}

void ClubSensor::Recompute(double ballSpeed, double launchAngle, double sideAngle, double backSpin,
                           double sideSpin) {
    const shot::LaunchConditions launch =
        Launch(ballSpeed, launchAngle, sideAngle, backSpin, sideSpin);
    shot::RecomputeClubData(type_, launch, model_, club_);
    ShowModelMessages();
}

void ClubSensor::KeepMeasuredOnly() {
    // The device's reading holds nothing inferred; the club's mass and loft are settings.
    shot::ClubData kept = measured_;
    kept.clubMass = club_.clubMass;
    kept.clubLoft = club_.clubLoft;
    kept.loftMismatch = false;
    club_ = kept;
    speedCalculated_ = false;
}

void ClubSensor::ShowClubMessage(base::MessageId message) {
    if (std::find(shownMessages_.begin(), shownMessages_.end(), message) != shownMessages_.end())
        return;
    shownMessages_.push_back(message);
    prompts_.Message(base::Text(message));
}

void ClubSensor::ShowModelMessages() {
    for (base::MessageId message : model_.TakeMessages())
        ShowClubMessage(message);
}

}  // namespace kyvern::links
