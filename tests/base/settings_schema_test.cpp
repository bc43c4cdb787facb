#include "base/settings_schema.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include "base/config_store.h"
#include "base/setting_labels.h"
#include "base/settings_snapshot.h"
#include "support/temp_dir.h"

namespace base = kyvern::base;
using base::SettingKind;
using base::SettingSpec;
namespace setting = base::setting;

namespace {

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool IsChoice(const SettingSpec& spec, const char* word) {
    for (const char* choice : spec.choices) {
        if (base::EqualsNoCase(choice, word)) return true;
    }
    return false;
}

// The default as the key's kind reads it, inside its range; an empty default means unset.
bool DefaultFits(const SettingSpec& spec) {
    if (!*spec.defaultText) return true;
    double value = 0.0;
    int used = 0;
    switch (spec.kind) {
        case SettingKind::kText:
            return true;
        case SettingKind::kNumber:
            if (std::sscanf(spec.defaultText, "%lf%n", &value, &used) != 1) return false;
            break;
        case SettingKind::kInteger: {
            long whole = 0;
            if (std::sscanf(spec.defaultText, "%ld%n", &whole, &used) != 1) return false;
            value = double(whole);
            break;
        }
        default:
            return IsChoice(spec, spec.defaultText);
    }
    return std::size_t(used) == std::strlen(spec.defaultText) &&
           (!spec.range.Bounded() || (value >= spec.range.low && value <= spec.range.high));
}

}  // namespace

TEST(SettingsSchema, EveryKeyOnceWithADefaultItsReaderTakes) {
    std::set<std::string> seen;
    for (const SettingSpec& spec : base::SettingTable()) {
        SCOPED_TRACE(std::string(spec.section) + "/" + spec.key);
        EXPECT_TRUE(seen.insert(Lower(spec.section) + "/" + Lower(spec.key)).second);
        EXPECT_TRUE(DefaultFits(spec));
        EXPECT_LT(std::strlen(spec.defaultText), spec.length);
        const bool worded = spec.kind == SettingKind::kYesNo || spec.kind == SettingKind::kOnOff ||
                            spec.kind == SettingKind::kChoice;
        EXPECT_EQ(worded, !spec.choices.empty());
        EXPECT_TRUE(*spec.label);
        // A family's key takes exactly one long.
        if (const char* percent = std::strchr(spec.key, '%')) {
            EXPECT_TRUE(std::strstr(spec.key, "%ld") == percent && !std::strchr(percent + 1, '%'));
        }
    }
    EXPECT_EQ(seen.size(), std::size_t(base::SettingId::kCount));
}

TEST(SettingsSchema, TypedReadsFollowTheKeysRules) {
    kyvern::testing::TempDir dir;
    const base::Settings settings(dir.File("Kyvern.ini"));
    const auto read = [&] { return base::SettingsSnapshot::Read(settings); };
    EXPECT_EQ(read().Number(setting::kClubMass), 200.0);
    EXPECT_FALSE(read().Stored(setting::kClubMass));
    struct Case {
        base::SettingId id;
        const char* stored;
        double number;  // Number() or Integer()
    } cases[] = {
        {setting::kHumidity, "35.5%", 35.5},    {setting::kHumidity, "damp", 50.0},
        {setting::kHumidity, "nan", 50.0},      {setting::kImageHistorySize, "7 frames", 7.0},
        {setting::kImageHistorySize, "", 50.0},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(settings.Write(c.id, c.stored));
        const bool whole = base::Spec(c.id).kind == SettingKind::kInteger;
        EXPECT_EQ(whole ? double(read().Integer(c.id)) : read().Number(c.id), c.number) << c.stored;
    }
    ASSERT_TRUE(settings.Write(setting::kPredictWithSpin, "\" YES \""));
    EXPECT_TRUE(read().Yes(setting::kPredictWithSpin));
    ASSERT_TRUE(settings.Write(setting::kSpeedDisplay, "kph"));
    EXPECT_EQ(read().Choice(setting::kSpeedDisplay), 2);
    ASSERT_TRUE(settings.Write(setting::kSpeedDisplay, "knots"));
    EXPECT_EQ(read().Choice(setting::kSpeedDisplay), -1);
    ASSERT_TRUE(settings.Write(setting::kRecentUser, 3, std::string(100, 'x')));
    EXPECT_EQ(base::ConfigStore::ReadSetting(settings.Path(), "MRU", "User3", "", 200).size(),
              100u);
    EXPECT_EQ(read().Text(setting::kRecentUser, 3).size(), 79u);

    // A batch names family members by their key; one value that cannot be written stops all.
    const base::Settings::Change batch[] = {{setting::kCameraCalibration, 9100001, "Cam A,1,2,3,"},
                                            {setting::kClubLoft, 0, "9.5"}};
    ASSERT_TRUE(settings.WriteAll(batch));
    EXPECT_EQ(read().Text(setting::kCameraCalibration, 9100001), "Cam A,1,2,3,");
    EXPECT_EQ(read().Text(setting::kClubLoft), "9.5");
    const base::Settings::Change refused[] = {{setting::kClubLoft, 0, "12"},
                                              {setting::kBall, 0, "x\n[Setup]"}};
    EXPECT_FALSE(settings.WriteAll(refused));
    EXPECT_EQ(read().Text(setting::kClubLoft), "9.5");
}

// The settings dialog shows every key it offers in Japanese too.
TEST(SettingsSchema, EveryKeyOnADialogPageHasAJapaneseLabel) {
    for (const SettingSpec& spec : base::SettingTable()) {
        if (!*spec.page) continue;
        EXPECT_STRNE(base::SettingLabel(spec.id, base::Language::kJapanese).data(), spec.label)
            << spec.key;
    }
}
