#pragma once

#include <QDialog>
#include <QString>
#include <optional>
#include <vector>

#include "base/settings_snapshot.h"
#include "base/user_prompts.h"

class QListWidget;
class QStackedWidget;

namespace kyvern::ui {

// The advanced settings: one dialog built from the settings schema, a page per section that a
// user changes, an editor per key as its kind asks. OK checks every field first (a value out
// of its range names the field and the range, and nothing is written), then writes the keys
// the user changed in one replacement of the settings file and closes.
class SettingsDialog final : public QDialog {
    Q_OBJECT
public:
    explicit SettingsDialog(base::Settings settings, QWidget* parent = nullptr);
    ~SettingsDialog() override;

    // Whether Setup/AdvSettingsPassword is set, and whether a typed password is it.
    static bool PasswordSet(const base::Settings& settings);
    static bool PasswordMatches(const base::Settings& settings, const QString& typed);
    // Asks for the password when one is set; true when the dialog may open.
    static bool Unlock(const base::Settings& settings, QWidget* parent);

    // Messages go to these prompts instead of a message box.
    void SetPrompts(base::UserPrompts* prompts) { prompts_ = prompts; }

    // Checks every field, writes the changed ones and closes; stays open after a message.
    void accept() override;

private:
    struct Field {
        base::SettingId id;
        long member = 0;  // a family's member
        QString label;
        QWidget* editor = nullptr;
        QString initial;  // the editor's value as the dialog opened
        int page = 0;
    };

    void AddField(int page, base::SettingId id, long member, const QString& label);
    QWidget* MakeEditor(const Field& field);
    QString Value(const Field& field) const;
    std::optional<QString> Problem(const Field& field) const;
    bool CheckAll();
    bool WriteChanges();
    void Tell(const QString& text);

    base::Settings settings_;
    // The file as the dialog opened on it: every editor starts from this one reading.
    base::SettingsSnapshot shown_;
    base::UserPrompts* prompts_ = nullptr;
    QListWidget* pageList_;
    QStackedWidget* pages_;
    std::vector<Field> fields_;
};

}  // namespace kyvern::ui
