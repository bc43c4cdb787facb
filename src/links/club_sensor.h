#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "base/user_prompts.h"
#include "links/serial_port.h"
#include "shot/impact_model.h"
#include "shot/shot_record.h"

namespace kyvern::links {

// The kind a ClubSensor/Type word selects, without regard to case; anything unknown is the
// calculated kind.
shot::SensorKind SensorTypeOf(std::string_view word);
const char* SensorDisplayName(shot::SensorKind kind);
// The line speed of a sensor kind; 0 for the kinds without a port.
int SensorBaudRate(shot::SensorKind kind);

// Bytes received from a sensor, oldest first.
struct SensorBuffer {
    static constexpr int kCapacity = 500;
    std::array<std::uint8_t, kCapacity> bytes{};
    int fill = 0;

    // Appends what arrived; past 250 bytes only the newest 200 are kept.
    void Append(const std::uint8_t* data, int count);
};

// The report parsers: each consumes the buffer as its device's protocol says and sets the
// values it finds valid in reading (already cleared by the caller). A speed outside its range
// is left invalid.
void ParseLazer(SensorBuffer& buffer, shot::ClubData& reading);
void ParseDistanceCaddy(SensorBuffer& buffer, shot::ClubData& reading);
void ParseSwingMate(SensorBuffer& buffer, shot::ClubData& reading);
void ParseGolfTek(SensorBuffer& buffer, shot::ClubData& reading, double& secondFaceReading);
void ParseMaruman(SensorBuffer& buffer, shot::ClubData& reading);

// The club-speed sensor on a serial port, and the club data of each shot: what the sensor
// measured, and the impact model's values for everything it did not.
class ClubSensor {
public:
    // Waits the given number of milliseconds: the time a sensor takes to send its report.
    using Wait = std::function<void(int milliseconds)>;
    static constexpr int kReportWait = 250;

    explicit ClubSensor(base::UserPrompts& prompts, Wait wait = {});

    // The sensor type and port of these settings.
    void Configure(const base::SettingsSnapshot& settings, bool resetValues);
    // The club settings the impact model takes from the next shot on.
    void SetClubOptions(const shot::ClubOptions& options) { model_.SetOptions(options); }
    void Poll();
    // A live shot: a new shot for the club messages, then the sensor and the model.
    void ReadShot(double ballSpeed, double launchAngle, double sideAngle, double backSpin,
                  double sideSpin);
    void Recompute(double ballSpeed, double launchAngle, double sideAngle, double backSpin,
                   double sideSpin);
    void Reset();
    // A putt: the impact model is a full swing's, and what it inferred of a putter's delivery
    // is no figure at all. Only what the sensor measured of the shot stays.
    void KeepMeasuredOnly();

    // The club setting messages are shown at most once each per shot, however often the model
    // is evaluated for it. BeginShot starts a shot without a live reading (a shot computed
    // again); ShowClubMessage shows a club setting message found elsewhere in the same way.
    void BeginShot() { shownMessages_.clear(); }
    void ShowClubMessage(base::MessageId message);

    // Each value, or 0 when it is not valid for this shot.
    double ClubSpeed() const { return club_.clubSpeed.Value(); }
    double ClubSpeedMph() const { return ClubSpeed() * 3600 / 5280; }
    double PathAngle() const { return club_.pathAngle.Value(); }
    double FaceAngle() const { return club_.faceAngle.Value(); }
    double Tempo() const { return club_.tempo.Value(); }
    double FaceRotation() const { return club_.faceRotation.Value(); }
    double EffectiveLoft() const { return club_.effectiveLoft.Value(); }
    double AngleOfAttack() const { return club_.angleOfAttack.Value(); }
    double DxFromToe() const { return club_.dxFromToe.Value(); }
    double SecondFaceReading() const { return secondFaceReading_; }
    bool LoftMismatch() const { return club_.loftMismatch; }
    bool SpeedCalculated() const { return speedCalculated_; }
    const shot::ClubData& Club() const { return club_; }

    shot::SensorKind Type() const { return type_; }
    int PortNumber() const { return portNumber_; }
    const char* DeviceName() const { return SensorDisplayName(type_); }
    static const char* Version() { return "ClubSensor v3.0.0"; }
    const SensorBuffer& Buffer() const { return buffer_; }

private:
    void ReadDevice(shot::ClubData& reading);
    void WaitAndPoll();
    void ShowModelMessages();

    base::UserPrompts& prompts_;
    Wait wait_;
    shot::ImpactModel model_{shot::ClubOptions{}};
    SerialPort port_;
    int portNumber_ = 0;
    shot::SensorKind type_ = shot::SensorKind::kCalculated;
    SensorBuffer buffer_;
    shot::ClubData club_;
    shot::ClubData measured_;  // what the device read of the live shot, nothing inferred
    double secondFaceReading_ = 0.0;
    bool speedCalculated_ = false;
    std::vector<base::MessageId> shownMessages_;
};

}  // namespace kyvern::links
