#include "shot/impact_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "support/recording_prompts.h"
#include "support/temp_home.h"

using namespace kyvern::shot;
using kyvern::testing::RecordingPrompts;
using kyvern::testing::TempHome;

namespace {

LaunchConditions Launch(double speed, double launch, double side, double back, double sideSpin) {
    LaunchConditions l;
    l.Set(speed, launch, side, std::hypot(back, sideSpin), back, sideSpin);
    return l;
}

std::string Exact(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

}  // namespace

TEST(ImpactModel, DriveWithTheDefaultClub) {
    TempHome home;
    RecordingPrompts prompts;
    ImpactModel model(prompts);
    ASSERT_TRUE(model.Evaluate(220.0, 12.0, 0.5, 2800.0, -400.0));
    // A 150 mph drive from a 100 mph club, an open-ish face for a draw spin.
    EXPECT_NEAR(model.ClubSpeed(), 150.47, 0.01);
    EXPECT_NEAR(model.EffectiveLoft(), 11.74, 0.01);
    EXPECT_NEAR(model.AngleOfAttack(), 4.14, 0.01);
    EXPECT_NEAR(model.FaceAngle(), -1.70, 0.01);
    EXPECT_NEAR(model.PathAngle(), -1.89, 0.01);
    EXPECT_FALSE(model.LoftMismatch());
    EXPECT_TRUE(prompts.messages.empty());

    // A heavier club and an explicit settings path.
    home.Set("Setup", "ClubMass", "280");
    home.Set("Setup", "ClubLoft", "36");
    ImpactModel iron(prompts, home.Settings());
    ASSERT_TRUE(iron.Evaluate(180.0, 17.0, -1.0, 6500.0, 300.0));
    // Club loft 36 is more than 2.5 degrees from the effective loft: the attack follows the
    // effective loft.
    EXPECT_NEAR(iron.ClubSpeed(), 131.74, 0.01);
    EXPECT_NEAR(iron.EffectiveLoft(), 32.01, 0.01);
    EXPECT_NEAR(iron.AngleOfAttack(), -8.93, 0.01);
    EXPECT_NEAR(iron.FaceAngle(), 1.64, 0.01);
    EXPECT_NEAR(iron.PathAngle(), 2.36, 0.01);
}

TEST(ImpactModel, BadClubSettingsShowTheirMessageAndLeaveZero) {
    TempHome home;
    RecordingPrompts prompts;
    ImpactModel model(prompts);
    struct Case {
        const char* key;
        const char* value;
        bool ok;
    };
    const Case cases[] = {
        {"ClubMass", "99", false},     {"ClubMass", "100", true},    {"ClubMass", "700", true},
        {"ClubMass", "700.01", false}, {"ClubMass", "heavy", false}, {"ClubMass", "200.0", true},
        {"ClubLoft", "1.9", false},    {"ClubLoft", "2", true},      {"ClubLoft", "75", true},
        {"ClubLoft", "80", false},     {"ClubLoft", "", false},      {"ClubLoft", "10.0", true},
    };
    for (const Case& c : cases) {
        home.Set("Setup", c.key, c.value);
        prompts.messages.clear();
        EXPECT_EQ(model.Evaluate(220.0, 12.0, 1.0, 2800.0, 300.0), c.ok) << c.key << c.value;
        if (c.ok) {
            EXPECT_TRUE(prompts.messages.empty()) << c.key << c.value;
            EXPECT_GT(model.ClubSpeed(), 0.0);
        } else {
            ASSERT_EQ(prompts.messages.size(), 1u) << c.key << c.value;
            EXPECT_EQ(prompts.messages[0], std::string("Invalid ") + c.key + " in Kyvern.ini");
            EXPECT_EQ(model.ClubSpeed(), 0.0);
            EXPECT_EQ(model.EffectiveLoft(), 0.0);
            EXPECT_EQ(model.AngleOfAttack(), 0.0);
            EXPECT_EQ(model.FaceAngle(), 0.0);
            EXPECT_EQ(model.PathAngle(), 0.0);
            EXPECT_FALSE(model.LoftMismatch());
        }
    }
    // The mass is checked first.
    home.Set("Setup", "ClubMass", "50");
    home.Set("Setup", "ClubLoft", "90");
    prompts.messages.clear();
    model.Evaluate(220.0, 12.0, 1.0, 2800.0, 300.0);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0], "Invalid ClubMass in Kyvern.ini");
}

TEST(ImpactModel, LoftCheckBoundaryAndItsNotice) {
    TempHome home;
    RecordingPrompts prompts;
    ImpactModel model(prompts);
    ASSERT_TRUE(model.Evaluate(220.0, 12.0, 1.0, 2800.0, 0.0));
    const double theta = model.EffectiveLoft();
    ASSERT_GE(theta, 8.0);
    ASSERT_LT(theta, 13.0);  // theta + 2.5 stays exact in this binade
    const double attackAtTheta = 12.0 + (model.AngleOfAttack() + 10.0 - 12.0) - theta;

    home.Set("Setup", "ClubLoft", Exact(theta + 2.5));
    ASSERT_TRUE(model.Evaluate(220.0, 12.0, 1.0, 2800.0, 0.0));
    EXPECT_FALSE(model.LoftMismatch());  // exactly 2.5 degrees apart is still a match
    EXPECT_NEAR(model.AngleOfAttack(), attackAtTheta - 2.5, 1e-9);

    home.Set("Setup", "ClubLoft", Exact(theta - 3.0));
    ASSERT_TRUE(model.Evaluate(220.0, 12.0, 1.0, 2800.0, 0.0));
    EXPECT_TRUE(model.LoftMismatch());
    EXPECT_NEAR(model.AngleOfAttack(), attackAtTheta, 1e-9);  // L + phiV - theta

    home.Set("Setup", "ClubLoft", Exact(theta + 3.0));
    ASSERT_TRUE(model.Evaluate(220.0, 12.0, 1.0, 2800.0, 0.0));
    EXPECT_TRUE(model.LoftMismatch());

    // Each evaluation describes itself: a matching shot after a mismatch clears the notice,
    // and so does a failed evaluation.
    home.Set("Setup", "ClubLoft", Exact(theta + 1.0));
    ASSERT_TRUE(model.Evaluate(220.0, 12.0, 1.0, 2800.0, 0.0));
    EXPECT_FALSE(model.LoftMismatch());
    home.Set("Setup", "ClubLoft", Exact(theta + 3.0));
    model.Evaluate(220.0, 12.0, 1.0, 2800.0, 0.0);
    ASSERT_TRUE(model.LoftMismatch());
    home.Set("Setup", "ClubMass", "1");
    EXPECT_FALSE(model.Evaluate(220.0, 12.0, 1.0, 2800.0, 0.0));
    EXPECT_FALSE(model.LoftMismatch());
}

TEST(ImpactModel, UndefinedCasesGiveZeroNeverNaN) {
    TempHome home;
    RecordingPrompts prompts;
    ImpactModel model(prompts);
    // No back spin: no loft and no club speed to infer.
    ASSERT_TRUE(model.Evaluate(220.0, 12.0, 1.0, 0.0, 0.0));
    EXPECT_EQ(model.EffectiveLoft(), 0.0);
    EXPECT_EQ(model.ClubSpeed(), 0.0);
    EXPECT_EQ(model.FaceAngle(), 0.0);
    EXPECT_DOUBLE_EQ(model.PathAngle(), -1.0);
    EXPECT_TRUE(std::isfinite(model.AngleOfAttack()));
    // Spin impulse above the ball's momentum: the vertical values are 0.
    ASSERT_TRUE(model.Evaluate(10.0, 12.0, 1.0, 15000.0, 200.0));
    EXPECT_EQ(model.EffectiveLoft(), 0.0);
    EXPECT_EQ(model.ClubSpeed(), 0.0);
    EXPECT_EQ(model.AngleOfAttack(), 0.0);
    EXPECT_FALSE(model.LoftMismatch());
    EXPECT_TRUE(std::isfinite(model.FaceAngle()));
    EXPECT_NE(model.FaceAngle(), 0.0);
    // The same in the horizontal plane.
    ASSERT_TRUE(model.Evaluate(10.0, 12.0, 1.0, 200.0, -15000.0));
    EXPECT_EQ(model.FaceAngle(), 0.0);
    EXPECT_EQ(model.PathAngle(), 0.0);
    EXPECT_GT(model.ClubSpeed(), 0.0);
    // A ball at rest.
    ASSERT_TRUE(model.Evaluate(0.0, 0.0, 0.0, 0.0, 0.0));
    EXPECT_EQ(model.ClubSpeed(), 0.0);
    EXPECT_EQ(model.EffectiveLoft(), 0.0);
    // Negative back spin gives a negative loft and a positive club speed.
    ASSERT_TRUE(model.Evaluate(150.0, 2.0, 0.0, -1500.0, 0.0));
    EXPECT_LT(model.EffectiveLoft(), 0.0);
    EXPECT_GT(model.ClubSpeed(), 0.0);
}

TEST(ImpactModel, ClubPresets) {
    const auto& presets = ImpactModel::ClubPresets();
    EXPECT_STREQ(presets[0], "None");
    EXPECT_STREQ(presets[1], "Driver, 10.0, 200");
    EXPECT_STREQ(presets[11], "Wedge, 55.0, 290");
    for (std::size_t i = 1; i < presets.size(); ++i) {
        double loft = 0.0;
        double mass = 0.0;
        char name[20];
        ASSERT_EQ(std::sscanf(presets[i], "%19[^,], %lf, %lf", name, &loft, &mass), 3);
        EXPECT_GE(loft, ImpactModel::kMinClubLoft);
        EXPECT_LE(loft, ImpactModel::kMaxClubLoft);
        EXPECT_GE(mass, ImpactModel::kMinClubMass);
        EXPECT_LE(mass, ImpactModel::kMaxClubMass);
    }
}

TEST(ClubMerge, LiveShotKeepsSensorValuesAndFillsTheRest) {
    TempHome home;
    RecordingPrompts prompts;
    ImpactModel model(prompts);
    LaunchConditions launch = Launch(220.0, 12.0, 1.0, 2800.0, -400.0);
    model.Evaluate(launch.ballSpeed, launch.launchAngle, launch.sideAngle, launch.backSpin,
                   launch.sideSpin);

    // No sensor: every value from the model, five evaluations.
    ClubData club;
    club.tempo.Set(9.0);  // left over from an earlier shot
    long before = model.EvaluationCount();
    EXPECT_TRUE(FillClubData(ClubData(), launch, model, club));
    EXPECT_EQ(model.EvaluationCount() - before, 5);
    EXPECT_DOUBLE_EQ(club.clubSpeed.Value(), model.ClubSpeed());
    EXPECT_DOUBLE_EQ(club.angleOfAttack.Value(), model.AngleOfAttack());
    EXPECT_DOUBLE_EQ(club.faceAngle.Value(), model.FaceAngle());
    EXPECT_DOUBLE_EQ(club.pathAngle.Value(), model.PathAngle());
    EXPECT_DOUBLE_EQ(club.effectiveLoft.Value(), model.EffectiveLoft());
    EXPECT_TRUE(club.clubSpeed.Present());
    EXPECT_FALSE(club.tempo.Present());
    EXPECT_EQ(club.tempo.Value(), 0.0);

    // A sensor that measured speed, face and tempo.
    ClubData sensor;
    sensor.clubSpeed.Set(160.0);
    sensor.faceAngle.Set(2.5);
    sensor.tempo.Set(3.1);
    before = model.EvaluationCount();
    EXPECT_FALSE(FillClubData(sensor, launch, model, club));
    EXPECT_EQ(model.EvaluationCount() - before, 3);
    EXPECT_EQ(club.clubSpeed.Value(), 160.0);
    EXPECT_EQ(club.faceAngle.Value(), 2.5);
    EXPECT_EQ(club.tempo.Value(), 3.1);
    EXPECT_DOUBLE_EQ(club.pathAngle.Value(), model.PathAngle());
    EXPECT_TRUE(club.pathAngle.Present());
    EXPECT_FALSE(club.dxFromToe.Present());

    // The loft notice follows the model; bad settings show a message per evaluation.
    home.Set("Setup", "ClubLoft", "40");
    FillClubData(ClubData(), launch, model, club);
    EXPECT_TRUE(club.loftMismatch);
    home.Set("Setup", "ClubMass", "99");
    prompts.messages.clear();
    FillClubData(ClubData(), launch, model, club);
    EXPECT_EQ(prompts.messages.size(), 5u);
    EXPECT_EQ(club.clubSpeed.Value(), 0.0);
    EXPECT_TRUE(club.clubSpeed.Present());
    EXPECT_FALSE(club.loftMismatch);
}

TEST(ClubMerge, RecomputeOverwritesBySensorKind) {
    TempHome home;
    RecordingPrompts prompts;
    ImpactModel model(prompts);
    LaunchConditions launch = Launch(220.0, 12.0, 1.0, 2800.0, -400.0);
    model.Evaluate(220.0, 12.0, 1.0, 2800.0, -400.0);

    auto sensorShot = [] {
        ClubData club;
        club.clubSpeed.Set(161.0);
        club.faceAngle.Set(3.0);
        club.pathAngle.Set(-4.0);
        club.angleOfAttack.Set(-2.0);
        club.effectiveLoft.Set(14.0);
        club.tempo.Set(1.5);
        return club;
    };

    ClubData golfTek = sensorShot();
    RecomputeClubData(SensorKind::kGolfTek, launch, model, golfTek);
    EXPECT_EQ(golfTek.clubSpeed.Value(), 161.0);
    EXPECT_EQ(golfTek.faceAngle.Value(), 3.0);
    EXPECT_EQ(golfTek.pathAngle.Value(), -4.0);
    EXPECT_DOUBLE_EQ(golfTek.angleOfAttack.Value(), model.AngleOfAttack());
    EXPECT_DOUBLE_EQ(golfTek.effectiveLoft.Value(), model.EffectiveLoft());
    EXPECT_EQ(golfTek.tempo.Value(), 1.5);

    for (SensorKind kind : {SensorKind::kLazer, SensorKind::kDistanceCaddy, SensorKind::kSwingMate,
                            SensorKind::kMaruman}) {
        ClubData club = sensorShot();
        RecomputeClubData(kind, launch, model, club);
        EXPECT_EQ(club.clubSpeed.Value(), 161.0);
        EXPECT_DOUBLE_EQ(club.faceAngle.Value(), model.FaceAngle());
        EXPECT_DOUBLE_EQ(club.pathAngle.Value(), model.PathAngle());
        EXPECT_DOUBLE_EQ(club.angleOfAttack.Value(), model.AngleOfAttack());
        EXPECT_DOUBLE_EQ(club.effectiveLoft.Value(), model.EffectiveLoft());
    }
    for (SensorKind kind : {SensorKind::kNone, SensorKind::kCalculated}) {
        ClubData club = sensorShot();
        RecomputeClubData(kind, launch, model, club);
        EXPECT_DOUBLE_EQ(club.clubSpeed.Value(), model.ClubSpeed());
        EXPECT_DOUBLE_EQ(club.faceAngle.Value(), model.FaceAngle());
    }
    // Flags are left as they are: a value never filled still reads as 0.
    ClubData empty;
    RecomputeClubData(SensorKind::kCalculated, launch, model, empty);
    EXPECT_FALSE(empty.clubSpeed.Present());
    EXPECT_EQ(empty.clubSpeed.Value(), 0.0);
    // The notice is copied.
    home.Set("Setup", "ClubLoft", "40");
    RecomputeClubData(SensorKind::kCalculated, launch, model, empty);
    EXPECT_TRUE(empty.loftMismatch);
}
