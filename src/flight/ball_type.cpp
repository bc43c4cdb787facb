#include "flight/ball_type.h"

#include <cstdio>

#include "base/config_store.h"
#include "base/settings_schema.h"

namespace kyvern::flight {

namespace {

struct TypeRow {
    const char* name;
    std::int32_t sportId;
    double diameter;
    double weight;
    double teeHeight;
};

// Indexed by type id.
constexpr std::array<TypeRow, 8> kTypes{{
    {"Normal Trajectory Golf Ball", 0, 1.685, 1.62, 1.685 / 2},
    {"Range Golf Ball", 0, 1.685, 1.62, 1.685 / 2},
    {"High Trajectory Golf Ball", 0, 1.685, 1.62, 1.685 / 2},
    {"Low Trajectory Golf Ball", 0, 1.685, 1.62, 1.685 / 2},
    {"Baseball", 1, 2.9, 5.12, 42.0},
    {"Rubber Baseball", 1, 2.9, 4.4, 42.0},
    {"Cork Softball", 2, 3.8, 6.5, 42.0},
    {"Softball", 2, 3.8, 6.5, 42.0},
}};

constexpr std::array<const char*, 3> kSportNames{"Golf", "Baseball", "Softball"};

// The golf balls the selection offers, in the order shown.
constexpr std::array<const char*, 4> kGolfNames{"Normal Trajectory Golf Ball",
                                                "High Trajectory Golf Ball",
                                                "Low Trajectory Golf Ball", "Range Golf Ball"};

}  // namespace

BallOptions ReadBallOptions(base::OptionsReader& reader) {
    BallOptions options;
    options.ball = reader.Snapshot().Text(base::setting::kBall);
    int height = -1;
    if (std::sscanf(reader.Snapshot().Text(base::setting::kHeightAboveGround).c_str(), "%d",
                    &height) == 1) {
        options.heightAboveGround = height;
    }
    return options;
}

BallOptions ReadBallOptions(const base::SettingsSnapshot& snapshot) {
    base::OptionsReader reader(snapshot);
    return ReadBallOptions(reader);
}

BallType::BallType(const BallOptions& options) { Load(options); }

std::int32_t BallType::TypeIdForName(const std::string& name) {
    for (std::size_t i = 0; i < kTypes.size(); ++i) {
        if (base::EqualsNoCase(name, kTypes[i].name)) return static_cast<std::int32_t>(i);
    }
    return 0;
}

void BallType::Load(const BallOptions& options) {
    for (const char* golf : kGolfNames)
        names_[nameCount_++] = golf;
    readPosition_ = 0;

    const std::string& configured = options.ball;
    typeId_ = TypeIdForName(configured);
    name_ = std::string(base::Trim(configured));

    const TypeRow& row = kTypes[static_cast<std::size_t>(typeId_)];
    sportId_ = row.sportId;
    sportName_ = kSportNames[static_cast<std::size_t>(sportId_)];
    diameter_ = row.diameter;
    weight_ = row.weight;
    teeHeight_ = row.teeHeight;

    if (options.heightAboveGround > 0) teeHeight_ = static_cast<double>(options.heightAboveGround);
}

std::string BallType::NextName() {
    if (readPosition_ >= nameCount_) return {};
    return names_[static_cast<std::size_t>(readPosition_++)];
}

}  // namespace kyvern::flight
