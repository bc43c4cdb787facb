#include "shot/impact_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "base/string_table.h"
#include "support/temp_home.h"

using namespace kyvern::shot;
using kyvern::base::MessageId;
using kyvern::base::Text;
using kyvern::testing::TempHome;

namespace {

std::string Exact(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

}  // namespace

TEST(ImpactModel, PinnedClubValuesAndOutOfRangeSettings) {
    TempHome home;
    ImpactModel model;
    // Ball speed, launch, side, back, side spin, club mass and loft (the defaults when null);
    // then club speed, effective loft, attack, face and path. The iron's loft is over 2.5 degrees
    // from the effective loft, so its attack follows the effective loft.
    const struct {
        double v, l, s, b, p;
        const char *mass, *loft;
        double club, eff, attack, face, path;
    } pinned[] = {{220, 12, 0.5, 2800, -400, nullptr, nullptr, 150.47, 11.74, 4.14, -1.70, -1.89},
                  {180, 17, -1, 6500, 300, "280", "36", 131.74, 32.01, -8.93, 1.64, 2.36}};
    for (const auto& c : pinned) {
        if (c.mass) home.Set("Setup", "ClubMass", c.mass);
        if (c.loft) home.Set("Setup", "ClubLoft", c.loft);
        ImpactModel fromFile(home.Settings());
        EXPECT_TRUE(fromFile.TakeMessages().empty());
        ASSERT_TRUE(fromFile.Evaluate(c.v, c.l, c.s, c.b, c.p));
        EXPECT_NEAR(fromFile.ClubSpeed(), c.club, 0.01);
        EXPECT_NEAR(fromFile.EffectiveLoft(), c.eff, 0.01);
        EXPECT_NEAR(fromFile.AngleOfAttack(), c.attack, 0.01);
        EXPECT_NEAR(fromFile.FaceAngle(), c.face, 0.01);
        EXPECT_NEAR(fromFile.PathAngle(), c.path, 0.01);
    }

    const struct {
        const char* key;
        const char* value;
        bool ok;
    } cases[] = {
        {"ClubMass", "99", false},     {"ClubMass", "100", true},    {"ClubMass", "700", true},
        {"ClubMass", "700.01", false}, {"ClubMass", "heavy", false}, {"ClubMass", "200.0", true},
        {"ClubLoft", "1.9", false},    {"ClubLoft", "2", true},      {"ClubLoft", "75", true},
        {"ClubLoft", "80", false},     {"ClubLoft", "", false},      {"ClubLoft", "10.0", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.key) + "=" + c.value);
        home.Set("Setup", c.key, c.value);
        EXPECT_EQ(model.Evaluate(220.0, 12.0, 1.0, 2800.0, 300.0), c.ok);
        EXPECT_EQ(model.ClubSpeed() > 0.0, c.ok);
        const std::vector<MessageId> messages = model.TakeMessages();
        if (c.ok) {
            EXPECT_TRUE(messages.empty());
        } else {
            ASSERT_EQ(messages.size(), 1u);
            EXPECT_EQ(Text(messages[0]), std::string("Invalid ") + c.key + " in Kyvern.ini");
            for (double v : {model.EffectiveLoft(), model.AngleOfAttack(), model.FaceAngle(),
                             model.PathAngle()})
                EXPECT_EQ(v, 0.0);
            EXPECT_FALSE(model.LoftMismatch());
        }
    }
    // The mass is checked first.
    home.Set("Setup", "ClubMass", "50");
    home.Set("Setup", "ClubLoft", "90");
    model.Evaluate(220.0, 12.0, 1.0, 2800.0, 300.0);
    EXPECT_EQ(model.TakeMessages(), std::vector{MessageId::kInvalidClubMass});

    // Every preset lies inside the accepted ranges.
    const auto& presets = ImpactModel::ClubPresets();
    for (std::size_t i = 1; i < presets.size(); ++i) {
        double loft = 0.0, mass = 0.0;
        char name[20];
        ASSERT_EQ(std::sscanf(presets[i], "%19[^,], %lf, %lf", name, &loft, &mass), 3);
        EXPECT_TRUE(loft >= ImpactModel::kMinClubLoft && loft <= ImpactModel::kMaxClubLoft);
        EXPECT_TRUE(mass >= ImpactModel::kMinClubMass && mass <= ImpactModel::kMaxClubMass);
    }
}

TEST(ImpactModel, LoftCheckBoundaryAndItsNotice) {
    TempHome home;
    ImpactModel model;
    ASSERT_TRUE(model.Evaluate(220.0, 12.0, 1.0, 2800.0, 0.0));
    const double theta = model.EffectiveLoft();
    ASSERT_GE(theta, 8.0);
    ASSERT_LT(theta, 13.0);  // theta + 2.5 stays exact in this binade
    const double attackAtTheta = 12.0 + (model.AngleOfAttack() + 10.0 - 12.0) - theta;

    // Club loft less effective loft; mismatch; the attack expected (L + phiV - theta on a
    // mismatch). Exactly 2.5 degrees apart is still a match.
    const struct {
        double offset;
        bool mismatch;
        double attack;
    } cases[] = {{2.5, false, attackAtTheta - 2.5},
                 {-3.0, true, attackAtTheta},
                 {3.0, true, NAN},
                 {1.0, false, NAN},  // a match after a mismatch clears the notice
                 {3.0, true, NAN}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.offset);
        home.Set("Setup", "ClubLoft", Exact(theta + c.offset));
        ASSERT_TRUE(model.Evaluate(220.0, 12.0, 1.0, 2800.0, 0.0));
        EXPECT_EQ(model.LoftMismatch(), c.mismatch);
        if (!std::isnan(c.attack)) {
            EXPECT_NEAR(model.AngleOfAttack(), c.attack, 1e-9);
        }
    }
    // A failed evaluation clears it too.
    home.Set("Setup", "ClubMass", "1");
    EXPECT_FALSE(model.Evaluate(220.0, 12.0, 1.0, 2800.0, 0.0));
    EXPECT_FALSE(model.LoftMismatch());
}

TEST(ImpactModel, UndefinedCasesGiveZeroNeverNaN) {
    TempHome home;
    ImpactModel model;
    // Launch; then loft, club speed, attack, face and path, NAN where any finite value does,
    // and the sign of the club speed. No back spin leaves nothing to infer; a spin impulse
    // above the ball's momentum zeroes that plane's values; negative back spin gives a
    // negative loft.
    const struct {
        double v, l, s, b, p;
        double loft, club, attack, face, path;
        bool clubPositive, faceTurned, loftNegative;
    } cases[] = {{220, 12, 1, 0, 0, 0, 0, NAN, 0, -1, false, false, false},
                 {10, 12, 1, 15000, 200, 0, 0, 0, NAN, NAN, false, true, false},
                 {10, 12, 1, 200, -15000, NAN, NAN, NAN, 0, 0, true, false, false},
                 {150, 2, 0, -1500, 0, NAN, NAN, NAN, NAN, NAN, true, false, true},
                 {0, 0, 0, 0, 0, 0, 0, NAN, NAN, NAN, false, false, false}};  // a ball at rest
    for (const auto& c : cases) {
        SCOPED_TRACE(c.b);
        ASSERT_TRUE(model.Evaluate(c.v, c.l, c.s, c.b, c.p));
        const double got[] = {model.EffectiveLoft(), model.ClubSpeed(), model.AngleOfAttack(),
                              model.FaceAngle(), model.PathAngle()};
        const double want[] = {c.loft, c.club, c.attack, c.face, c.path};
        for (int i = 0; i < 5; ++i) {
            ASSERT_TRUE(std::isfinite(got[i])) << i;
            if (!std::isnan(want[i])) {
                EXPECT_DOUBLE_EQ(got[i], want[i]) << i;
            }
        }
        EXPECT_EQ(model.ClubSpeed() > 0.0, c.clubPositive);
        EXPECT_EQ(model.FaceAngle() != 0.0, c.faceTurned);
        EXPECT_EQ(model.EffectiveLoft() < 0.0, c.loftNegative);
    }
}

TEST(ClubMerge, LiveShotKeepsSensorValuesAndFillsTheRest) {
    TempHome home;
    ImpactModel model;
    LaunchConditions launch;
    launch.Set(220.0, 12.0, 1.0, std::hypot(2800.0, 400.0), 2800.0, -400.0);
    model.Evaluate(220.0, 12.0, 1.0, 2800.0, -400.0);

    // No sensor: every value from the model; a value left from an earlier shot goes.
    ClubData club;
    club.tempo.Set(9.0);
    EXPECT_TRUE(FillClubData(ClubData(), launch, model, club));
    EXPECT_DOUBLE_EQ(club.clubSpeed.Value(), model.ClubSpeed());
    EXPECT_DOUBLE_EQ(club.angleOfAttack.Value(), model.AngleOfAttack());
    EXPECT_DOUBLE_EQ(club.faceAngle.Value(), model.FaceAngle());
    EXPECT_DOUBLE_EQ(club.pathAngle.Value(), model.PathAngle());
    EXPECT_DOUBLE_EQ(club.effectiveLoft.Value(), model.EffectiveLoft());
    EXPECT_FALSE(club.tempo.Present());
    EXPECT_EQ(club.tempo.Value(), 0.0);

    // A sensor that measured speed, face and tempo.
    ClubData sensor;
    sensor.clubSpeed.Set(160.0);
    sensor.faceAngle.Set(2.5);
    sensor.tempo.Set(3.1);
    EXPECT_FALSE(FillClubData(sensor, launch, model, club));
    EXPECT_EQ(club.clubSpeed.Value(), 160.0);
    EXPECT_EQ(club.faceAngle.Value(), 2.5);
    EXPECT_EQ(club.tempo.Value(), 3.1);
    EXPECT_DOUBLE_EQ(club.pathAngle.Value(), model.PathAngle());
    EXPECT_FALSE(club.dxFromToe.Present());

    // The loft notice follows the model; a bad setting is noted once for the five evaluations.
    home.Set("Setup", "ClubLoft", "40");
    FillClubData(ClubData(), launch, model, club);
    EXPECT_TRUE(club.loftMismatch);
    home.Set("Setup", "ClubMass", "99");
    FillClubData(ClubData(), launch, model, club);
    EXPECT_EQ(model.TakeMessages(), std::vector{MessageId::kInvalidClubMass});
    EXPECT_EQ(club.clubSpeed.Value(), 0.0);
    EXPECT_TRUE(club.clubSpeed.Present());
    EXPECT_FALSE(club.loftMismatch);
}

TEST(ClubMerge, RecomputeOverwritesBySensorKind) {
    TempHome home;
    ImpactModel model;
    LaunchConditions launch;
    launch.Set(220.0, 12.0, 1.0, std::hypot(2800.0, 400.0), 2800.0, -400.0);
    model.Evaluate(220.0, 12.0, 1.0, 2800.0, -400.0);

    // Which of speed, face and path a kind keeps from its sensor; attack and loft always come
    // from the model, tempo is never touched.
    const struct {
        SensorKind kind;
        bool speed, faceAndPath;
    } kinds[] = {{SensorKind::kGolfTek, true, true},        {SensorKind::kLazer, true, false},
                 {SensorKind::kDistanceCaddy, true, false}, {SensorKind::kSwingMate, true, false},
                 {SensorKind::kMaruman, true, false},       {SensorKind::kNone, false, false},
                 {SensorKind::kCalculated, false, false}};
    for (const auto& k : kinds) {
        SCOPED_TRACE(static_cast<int>(k.kind));
        ClubData club;
        club.clubSpeed.Set(161.0);
        club.faceAngle.Set(3.0);
        club.pathAngle.Set(-4.0);
        club.angleOfAttack.Set(-2.0);
        club.effectiveLoft.Set(14.0);
        club.tempo.Set(1.5);
        RecomputeClubData(k.kind, launch, model, club);
        EXPECT_DOUBLE_EQ(club.clubSpeed.Value(), k.speed ? 161.0 : model.ClubSpeed());
        EXPECT_DOUBLE_EQ(club.faceAngle.Value(), k.faceAndPath ? 3.0 : model.FaceAngle());
        EXPECT_DOUBLE_EQ(club.pathAngle.Value(), k.faceAndPath ? -4.0 : model.PathAngle());
        EXPECT_DOUBLE_EQ(club.angleOfAttack.Value(), model.AngleOfAttack());
        EXPECT_DOUBLE_EQ(club.effectiveLoft.Value(), model.EffectiveLoft());
        EXPECT_EQ(club.tempo.Value(), 1.5);
    }
    // Flags are left as they are: a value never filled still reads as 0; the notice is copied.
    ClubData empty;
    home.Set("Setup", "ClubLoft", "40");
    RecomputeClubData(SensorKind::kCalculated, launch, model, empty);
    EXPECT_FALSE(empty.clubSpeed.Present());
    EXPECT_EQ(empty.clubSpeed.Value(), 0.0);
    EXPECT_TRUE(empty.loftMismatch);
}
