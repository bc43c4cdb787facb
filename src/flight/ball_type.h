#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "base/settings_snapshot.h"

namespace kyvern::flight {

// Setup/Ball and Setup/HeightAboveGround as a pass read them.
struct BallOptions {
    std::string ball = "Golf Ball";
    int heightAboveGround = -1;  // inches; 0 or less keeps the type's own tee height
};
BallOptions ReadBallOptions(base::OptionsReader& reader);
BallOptions ReadBallOptions(const base::SettingsSnapshot& snapshot);

// The configured ball: which of the eight types it is and its size, weight and launch height.
class BallType {
public:
    static constexpr int kMaxNames = 10;

    explicit BallType(const BallOptions& options = {});

    std::int32_t TypeId() const { return typeId_; }
    const std::string& Name() const { return name_; }
    std::int32_t SportId() const { return sportId_; }
    const std::string& SportName() const { return sportName_; }
    double Diameter() const { return diameter_; }    // inches
    double Weight() const { return weight_; }        // ounces
    double TeeHeight() const { return teeHeight_; }  // inches, ball centre above the ground

    // The golf balls offered for selection, one at a time.
    void ResetNames() { readPosition_ = 0; }
    // The name at the read position, advancing it; empty when all have been given.
    std::string NextName();
    int NameCount() const { return nameCount_; }

    // The type a configured name selects: compared without regard to case; 0 when none matches.
    static std::int32_t TypeIdForName(const std::string& name);

private:
    void Load(const BallOptions& options);

    std::array<std::string, kMaxNames> names_{};
    int nameCount_ = 0;
    int readPosition_ = 0;
    std::int32_t typeId_ = 0;
    std::string name_ = "Golf Ball";
    std::int32_t sportId_ = 0;
    std::string sportName_ = "Golf";
    double diameter_ = 0.0;
    double weight_ = 0.0;
    double teeHeight_ = 0.0;
};

}  // namespace kyvern::flight
