#include "shot/impact_model.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/temp_home.h"

using namespace kyvern::shot;
using kyvern::base::MessageId;
using kyvern::testing::TempHome;

namespace {

// Club speed, effective loft, attack, face and path of the last evaluation, to 0.01.
std::string Club(const ImpactModel& m) {
    char text[80];
    std::snprintf(text, sizeof text, "%.2f %.2f %.2f %.2f %.2f", m.ClubSpeed(), m.EffectiveLoft(),
                  m.AngleOfAttack(), m.FaceAngle(), m.PathAngle());
    return text;
}

}  // namespace

TEST(ImpactModel, PinnedClubValuesUndefinedCasesAndOutOfRangeSettings) {
    TempHome home;
    // Ball speed, launch, side, back, side spin, club mass and loft (the defaults when null).
    // The iron's loft is over 2.5 degrees from the effective loft, so its attack follows the
    // effective loft. Then the undefined cases, which give zeros, never NaN: no back spin leaves
    // nothing to infer; a spin impulse above the ball's momentum zeroes that plane's values;
    // negative back spin gives a negative loft; a ball at rest gives nothing.
    const struct {
        double v, l, s, b, p;
        const char *mass, *loft, *club;
    } pinned[] = {{220, 12, 0.5, 2800, -400, nullptr, nullptr, "150.47 11.74 4.14 -1.70 -1.89"},
                  {220, 12, 1, 0, 0, nullptr, nullptr, "0.00 0.00 12.00 0.00 -1.00"},
                  {10, 12, 1, 15000, 200, nullptr, nullptr, "0.00 0.00 0.00 19.55 15.18"},
                  {10, 12, 1, 200, -15000, nullptr, nullptr, "6.54 19.55 -4.18 0.00 0.00"},
                  {150, 2, 0, -1500, 0, nullptr, nullptr, "99.04 -9.53 9.85 0.00 0.00"},
                  {0, 0, 0, 0, 0, nullptr, nullptr, "0.00 0.00 0.00 0.00 0.00"},
                  {180, 17, -1, 6500, 300, "280", "36", "131.74 32.01 -8.93 1.64 2.36"}};
    for (const auto& c : pinned) {
        if (c.mass) home.Set("Setup", "ClubMass", c.mass);
        if (c.loft) home.Set("Setup", "ClubLoft", c.loft);
        ImpactModel fromFile(
            ReadClubOptions(kyvern::base::SettingsSnapshot::Read(home.Settings())));
        ASSERT_TRUE(fromFile.Evaluate(c.v, c.l, c.s, c.b, c.p));
        EXPECT_EQ(Club(fromFile), c.club) << c.v << " " << c.b << " " << c.p;
        EXPECT_TRUE(fromFile.TakeMessages().empty());
    }

    // Both sides of each limit; a bad value gives its message and nothing else.
    const struct {
        const char *key, *value;
        bool ok;
    } cases[] = {
        {"ClubMass", "99", false},     {"ClubMass", "100", true},    {"ClubMass", "700", true},
        {"ClubMass", "700.01", false}, {"ClubMass", "heavy", false}, {"ClubMass", "200.0", true},
        {"ClubLoft", "1.9", false},    {"ClubLoft", "2", true},      {"ClubLoft", "75", true},
        {"ClubLoft", "80", false},     {"ClubLoft", "", false}};
    ImpactModel model;
    // Each evaluation takes the club settings of a pass, read just before it.
    const auto set = [&](const char* key, const char* value) {
        home.Set("Setup", key, value);
        model.SetOptions(ReadClubOptions(kyvern::base::SettingsSnapshot::Read(home.Settings())));
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.key) + "=" + c.value);
        set(c.key, c.value);
        EXPECT_EQ(model.Evaluate(220.0, 12.0, 1.0, 2800.0, 300.0), c.ok);
        EXPECT_EQ(model.TakeMessages().size(), c.ok ? 0u : 1u);
        if (!c.ok) {  // every value 0 and no loft notice
            EXPECT_EQ(Club(model) + (model.LoftMismatch() ? " !" : ""), "0.00 0.00 0.00 0.00 0.00");
        }
    }
    // The mass is checked first.
    set("ClubMass", "50");
    model.Evaluate(220.0, 12.0, 1.0, 2800.0, 300.0);
    EXPECT_EQ(model.TakeMessages(), std::vector{MessageId::kInvalidClubMass});

    // Every preset lies inside the accepted ranges.
    const auto& presets = ImpactModel::ClubPresets();
    for (std::size_t i = 1; i < presets.size(); ++i) {
        double loft = 0.0, mass = 0.0;
        ASSERT_EQ(std::sscanf(presets[i], "%*[^,], %lf, %lf", &loft, &mass), 2);
        EXPECT_TRUE(loft >= ImpactModel::kMinClubLoft && loft <= ImpactModel::kMaxClubLoft);
        EXPECT_TRUE(mass >= ImpactModel::kMinClubMass && mass <= ImpactModel::kMaxClubMass);
    }
}

TEST(ImpactModel, LoftCheckBoundaryAndItsNotice) {
    TempHome home;
    ImpactModel model;
    const auto set = [&](const char* key, const char* value) {
        home.Set("Setup", key, value);
        model.SetOptions(ReadClubOptions(kyvern::base::SettingsSnapshot::Read(home.Settings())));
    };
    ASSERT_TRUE(model.Evaluate(220.0, 12.0, 1.0, 2800.0, 0.0));
    const double theta = model.EffectiveLoft();
    ASSERT_TRUE(theta >= 8.0 && theta < 13.0);  // theta + 2.5 stays exact in this binade
    const double attackAtTheta = model.AngleOfAttack() + 10.0 - theta;  // the default loft, 10

    // Club loft less effective loft, and the notice. Exactly 2.5 degrees apart is still a match;
    // a match after a mismatch clears the notice. The attack follows the club's loft on a match
    // and the effective loft on a mismatch.
    for (auto [offset, mismatch] :
         {std::pair{2.5, false}, {-3.0, true}, {3.0, true}, {1.0, false}, {3.0, true}}) {
        char loft[40];
        std::snprintf(loft, sizeof loft, "%.17g", theta + offset);
        set("ClubLoft", loft);
        ASSERT_TRUE(model.Evaluate(220.0, 12.0, 1.0, 2800.0, 0.0));
        EXPECT_EQ(model.LoftMismatch(), mismatch) << offset;
        EXPECT_NEAR(model.AngleOfAttack(), attackAtTheta - (mismatch ? 0.0 : offset), 1e-9);
    }
    // A failed evaluation clears it too.
    set("ClubMass", "1");
    EXPECT_FALSE(model.Evaluate(220.0, 12.0, 1.0, 2800.0, 0.0));
    EXPECT_FALSE(model.LoftMismatch());
}
