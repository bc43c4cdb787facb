#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kyvern::links {

class DispatchObject;

// One argument of a dispatch call.
struct DispatchArgument {
    enum class Kind { kText, kInteger, kReal, kObject, kObjectReference };
    Kind kind = Kind::kInteger;
    std::string text;
    std::int32_t integer = 0;
    float real = 0.0f;  // a variant holding a 4-byte real
    DispatchObject* object = nullptr;

    static DispatchArgument Text(std::string_view value);
    static DispatchArgument Integer(std::int32_t value);
    static DispatchArgument Real(float value);
    static DispatchArgument Object(DispatchObject* value);
    static DispatchArgument Reference(DispatchObject* value);
};

// An automation object of the video-analysis program, called by dispatch number without a
// result.
class DispatchObject {
public:
    virtual ~DispatchObject() = default;
    virtual void Invoke(int dispatchNumber, const std::vector<DispatchArgument>& arguments) = 0;
};

// Makes automation objects from their class names; nullptr when the class does not exist.
class DispatchFactory {
public:
    virtual ~DispatchFactory() = default;
    virtual std::unique_ptr<DispatchObject> Create(std::string_view className) = 0;
};

// This platform has no automation objects: every creation fails.
class NoAutomation final : public DispatchFactory {
public:
    std::unique_ptr<DispatchObject> Create(std::string_view) override { return nullptr; }
};

inline constexpr int kMetadataStreams = 16;

// Publishes every shot's values to a video-analysis program as time-stamped metadata streams.
// Inert when the program's automation objects cannot be made.
class VideoMetadataLink {
public:
    // With no factory the platform's own is used, which has no objects.
    explicit VideoMetadataLink(DispatchFactory* factory = nullptr);

    void ReadUnits();
    bool Init();
    bool StartShot();
    bool SetBall(double ballSpeed, double backSpin, double sideSpin, double launchAngle,
                 double sideAngle);
    bool SetCarry(double carryDR, double carryOL, double flightTime);
    bool SetTotal(double totalDR, double totalOL, double roll);
    bool SetClub(double clubSpeed, double angleOfAttack, double pathAngle, double faceAngle);
    bool SetScore(double score);
    bool Commit();

    bool Enabled() const { return enabled_; }
    int DistanceUnit() const { return distanceUnit_; }
    int SpeedUnit() const { return speedUnit_; }
    // Feet per second and feet to the display units in force.
    double ConvertSpeed(double feetPerSecond) const;
    double ConvertDistance(double feet) const;

    struct StreamInfo {
        const char* name;
        std::int32_t number;
    };
    static const std::array<StreamInfo, kMetadataStreams>& Streams();

private:
    void SendValue(int stream, double value);

    NoAutomation noAutomation_;  // the factory when none is given: every object fails
    DispatchFactory* factory_;
    bool enabled_ = false;
    int distanceUnit_ = 0;
    int speedUnit_ = 0;
    std::unique_ptr<DispatchObject> clock_;
    std::unique_ptr<DispatchObject> timeStamp_;
    std::unique_ptr<DispatchObject> sender_;
    std::unique_ptr<DispatchObject> metadata_;
    std::array<std::unique_ptr<DispatchObject>, kMetadataStreams> streams_;
};

}  // namespace kyvern::links
