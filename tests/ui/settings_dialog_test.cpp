#include "ui/settings_dialog.h"

#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>
#include <cstring>
#include <string>

#include "base/config_store.h"
#include "support/recording_prompts.h"
#include "support/temp_dir.h"

namespace kyvern::ui {
namespace {

using testing::ReadFileText;
using testing::RecordingPrompts;

constexpr const char* kFile =
    "[Setup]\nClubMass=230.0\nHanded=Left-handed\nAdvSettingsPassword=Morlat\n"
    "[Camera]\nSpeed=Medium\n9100001=Cam A,0,0,0,0,0,0,\n[Weather]\nTemperature=70.0\n";

// A settings file of its own and the replacements of it counted as they land.
struct Rig {
    Rig() {
        testing::WriteFileText(path, kFile);
        watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        inotify_add_watch(watch, dir.Path().c_str(), IN_MOVED_TO);
    }
    ~Rig() { ::close(watch); }
    int Replacements() {
        int count = 0;
        alignas(inotify_event) char buffer[4096];
        for (ssize_t n; (n = ::read(watch, buffer, sizeof buffer)) > 0;) {
            for (char* p = buffer; p < buffer + n;) {
                const auto* event = reinterpret_cast<inotify_event*>(p);
                if (event->len && std::strcmp(event->name, "Kyvern.ini") == 0) ++count;
                p += sizeof(inotify_event) + event->len;
            }
        }
        return count;
    }
    template <typename T>
    T* Editor(SettingsDialog& dialog, const char* name) {
        T* editor = dialog.findChild<T*>(name);
        EXPECT_NE(editor, nullptr) << name;
        return editor;
    }
    testing::TempDir dir;
    std::string path = dir.File("Kyvern.ini");
    int watch = -1;
    RecordingPrompts prompts;
};

// A value the program would not take is refused before anything is written; the message
// names the field and what it takes.
TEST(SettingsDialog, RefusesABadValueNamingTheFieldAndWritesNothing) {
    const struct {
        const char* field;
        const char* typed;
        const char* message;
    } cases[] = {
        {"Setup/ClubMass", "900", "Club head mass (g): enter a number from 100 to 700."},
        {"Weather/Altitude", "high", "Altitude (ft): enter a number from 0 to 12000."},
        {"Router/ClientID", "3.5", "Router client number: enter a whole number."},
    };
    for (const auto& c : cases) {
        Rig rig;
        SettingsDialog dialog(rig.path);
        dialog.SetPrompts(&rig.prompts);
        rig.Editor<QLineEdit>(dialog, "Weather/Temperature")->setText("80");
        rig.Editor<QLineEdit>(dialog, c.field)->setText(c.typed);
        dialog.accept();
        EXPECT_EQ(rig.prompts.messages, std::vector<std::string>{c.message});
        EXPECT_NE(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(rig.Replacements(), 0);
        EXPECT_EQ(ReadFileText(rig.path), kFile);
    }
}

// Every key the schema puts on a page has its editor; OK with nothing changed writes nothing,
// and with changes writes exactly the changed keys in one replacement of the file.
TEST(SettingsDialog, WritesOnlyTheChangedKeysInOneReplacement) {
    Rig rig;
    {
        SettingsDialog dialog(rig.path);
        for (const base::SettingSpec& spec : base::SettingTable()) {
            if (*spec.page && !std::strchr(spec.key, '%')) {
                EXPECT_NE(dialog.findChild<QWidget*>(QString(spec.section) + "/" + spec.key),
                          nullptr)
                    << spec.key;
            }
        }
        dialog.accept();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(rig.Replacements(), 0);
    }
    SettingsDialog dialog(rig.path);
    dialog.SetPrompts(&rig.prompts);
    // Without the key the dialog shows the humidity the flight model uses.
    EXPECT_EQ(rig.Editor<QLineEdit>(dialog, "Weather/Humidity")->text(), "50");
    rig.Editor<QLineEdit>(dialog, "Setup/ClubMass")->setText(" 250.5 ");
    rig.Editor<QComboBox>(dialog, "Camera/Speed")->setCurrentText("SuperSlow");
    rig.Editor<QCheckBox>(dialog, "SerialOutput/Enabled")->setChecked(true);
    rig.Editor<QSpinBox>(dialog, "Camera/Brightness")->setValue(4);
    rig.Editor<QLineEdit>(dialog, "Camera/9100001")->setText("Cam B,1,2,3,0,90,0,");
    // Typed back to what it was: no change.
    rig.Editor<QComboBox>(dialog, "Setup/Handed")->setCurrentText("Right-handed");
    rig.Editor<QComboBox>(dialog, "Setup/Handed")->setCurrentText("Left-handed");
    dialog.accept();
    EXPECT_TRUE(rig.prompts.messages.empty());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(rig.Replacements(), 1);
    std::string want = kFile;
    for (const auto& [section, key, value] : {std::tuple{"Setup", "ClubMass", "250.5"},
                                              {"Camera", "Speed", "SuperSlow"},
                                              {"SerialOutput", "Enabled", "Yes"},
                                              {"Camera", "Brightness", "4"},
                                              {"Camera", "9100001", "Cam B,1,2,3,0,90,0,"}}) {
        want = base::ConfigStore::SetValue(want, section, key, value);
    }
    EXPECT_EQ(ReadFileText(rig.path), want);

    // A file that cannot be written is reported and the dialog stays open.
    const std::string nowhere = rig.path + "/Kyvern.ini";
    SettingsDialog blocked(nowhere);
    blocked.SetPrompts(&rig.prompts);
    rig.Editor<QLineEdit>(blocked, "Setup/ClubMass")->setText("250");
    blocked.accept();
    EXPECT_EQ(rig.prompts.messages,
              std::vector<std::string>{"The settings could not be written to " + nowhere});
    EXPECT_NE(blocked.result(), QDialog::Accepted);
}

TEST(SettingsDialog, PasswordIsSetWhenNotBlankAndMatchesExactly) {
    Rig rig;
    EXPECT_TRUE(SettingsDialog::PasswordSet(rig.path));
    EXPECT_TRUE(SettingsDialog::PasswordMatches(rig.path, "Morlat"));
    EXPECT_FALSE(SettingsDialog::PasswordMatches(rig.path, "morlat"));
    base::ConfigStore::WriteSetting(rig.path, "Setup", "AdvSettingsPassword", "  ");
    EXPECT_FALSE(SettingsDialog::PasswordSet(rig.path));
    EXPECT_TRUE(SettingsDialog::Unlock(rig.path, nullptr));
}

}  // namespace
}  // namespace kyvern::ui
