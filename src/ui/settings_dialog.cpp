#include "ui/settings_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QScrollArea>
#include <QSpinBox>
#include <QStackedWidget>
#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/config_store.h"
#include "base/setting_labels.h"
#include "base/string_table.h"
#include "flight/ball_type.h"

namespace kyvern::ui {

namespace {

using base::MessageId;
using base::SettingId;
using base::SettingKind;

struct Page {
    const char* id;  // the schema's page field
    MessageId title;
};
constexpr Page kPages[] = {
    {"Display", MessageId::kSettingsPageDisplay},
    {"Camera", MessageId::kSettingsPageCamera},
    {"Weather", MessageId::kSettingsPageWeather},
    {"BallClub", MessageId::kSettingsPageBallClub},
    {"ClubSensor", MessageId::kSettingsPageClubSensor},
    {"SerialOutput", MessageId::kSettingsPageSerialOutput},
    {"Router", MessageId::kSettingsPageRouter},
    {"Remote", MessageId::kSettingsPageRemote},
    {"Launcher", MessageId::kSettingsPageLauncher},
    {"Simulator", MessageId::kSettingsPageSimulator},
    {"SimLink", MessageId::kSettingsPageSimLink},
    {"Store", MessageId::kSettingsPageStore},
    {"Web", MessageId::kSettingsPageWeb},
};

QString Qs(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A message of the string table with its arguments.
template <typename... Args>
QString Format(MessageId id, Args... args) {
    const std::string format(base::Text(id));
    char text[512];
    std::snprintf(text, sizeof text, format.c_str(), args...);
    return QString::fromUtf8(text);
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", value);
    return text;
}

bool IsFamily(SettingId id) { return std::strchr(base::Spec(id).key, '%') != nullptr; }

// Bounded integers that fit a spin box get one; any other number is typed and checked.
bool SpinBoxFor(const base::SettingSpec& spec) {
    return spec.kind == SettingKind::kInteger && spec.range.Bounded() &&
           spec.range.low >= INT_MIN && spec.range.high <= INT_MAX;
}

// The whole text is one finite number (no locale: the file's numbers use a point).
bool ReadNumber(const std::string& text, double& value) {
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && at == end && std::isfinite(value);
}

bool ReadWhole(const std::string& text, long& value) {
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && at == end;
}

// Camera serial numbers that have a calibration line: the section's keys made of digits.
std::vector<long> CalibratedSerials(const base::Settings& settings) {
    std::vector<long> serials;
    const char* section = base::Spec(SettingId::kCameraCalibration).section;
    for (const std::string& key : base::ConfigStore::SectionKeys(settings.Path(), section)) {
        long serial = 0;
        if (key.find_first_not_of("0123456789") == std::string::npos && ReadWhole(key, serial)) {
            serials.push_back(serial);
        }
    }
    std::sort(serials.begin(), serials.end());
    return serials;
}

}  // namespace

SettingsDialog::SettingsDialog(base::Settings settings, QWidget* parent)
    : QDialog(parent),
      settings_(std::move(settings)),
      shown_(base::SettingsSnapshot::Read(settings_)),
      pageList_(new QListWidget(this)),
      pages_(new QStackedWidget(this)) {
    setWindowTitle(Qs(base::Text(MessageId::kSettingsTitle)));
    std::vector<QFormLayout*> forms;
    for (const Page& page : kPages) {
        pageList_->addItem(Qs(base::Text(page.title)));
        auto* scroll = new QScrollArea(pages_);
        scroll->setWidgetResizable(true);
        scroll->setFrameShape(QFrame::NoFrame);
        auto* content = new QWidget(scroll);
        auto* form = new QFormLayout(content);
        form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
        scroll->setWidget(content);
        pages_->addWidget(scroll);
        forms.push_back(form);
    }
    for (const base::SettingSpec& spec : base::SettingTable()) {
        const auto page = std::find_if(std::begin(kPages), std::end(kPages), [&](const Page& p) {
            return std::strcmp(p.id, spec.page) == 0;
        });
        if (page == std::end(kPages)) continue;
        const int index = static_cast<int>(page - std::begin(kPages));
        if (!IsFamily(spec.id)) {
            AddField(index, spec.id, 0, Qs(base::SettingLabel(spec.id)));
        } else if (spec.id == SettingId::kCameraCalibration) {
            // One line per camera the settings already know.
            for (long serial : CalibratedSerials(settings_))
                AddField(index, spec.id, serial, Format(MessageId::kSettingCalibration, serial));
        }
    }
    for (Field& field : fields_) {
        field.initial = Value(field);
        auto* row = new QWidget;
        auto* line = new QHBoxLayout(row);
        line->setContentsMargins(0, 0, 0, 0);
        line->addWidget(field.editor, 1);
        const base::SettingSpec& spec = base::Spec(field.id);
        if (spec.range.Bounded()) {
            auto* hint = new QLabel(Format(MessageId::kSettingRange, Number(spec.range.low).c_str(),
                                           Number(spec.range.high).c_str()),
                                    row);
            hint->setEnabled(false);
            line->addWidget(hint);
        }
        forms[static_cast<std::size_t>(field.page)]->addRow(field.label, row);
    }

    pageList_->setFixedWidth(pageList_->sizeHintForColumn(0) + 24);
    connect(pageList_, &QListWidget::currentRowChanged, pages_, &QStackedWidget::setCurrentIndex);
    pageList_->setCurrentRow(0);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &SettingsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &SettingsDialog::reject);
    auto* body = new QHBoxLayout;
    body->addWidget(pageList_);
    body->addWidget(pages_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(body, 1);
    layout->addWidget(buttons);
    resize(780, 520);
}

SettingsDialog::~SettingsDialog() = default;

void SettingsDialog::AddField(int page, SettingId id, long member, const QString& label) {
    Field field{id, member, label, nullptr, {}, page};
    field.editor = MakeEditor(field);
    const base::SettingSpec& spec = base::Spec(id);
    const std::string key = IsFamily(id) ? base::SettingKey(id, member) : spec.key;
    field.editor->setObjectName(Qs(std::string(spec.section) + "/" + key));
    fields_.push_back(field);
}

QWidget* SettingsDialog::MakeEditor(const Field& field) {
    const base::SettingSpec& spec = base::Spec(field.id);
    const QString stored =
        Qs(IsFamily(field.id) ? shown_.Text(field.id, field.member) : shown_.Text(field.id));
    switch (spec.kind) {
        case SettingKind::kYesNo:
        case SettingKind::kOnOff: {
            auto* box = new QCheckBox;
            box->setChecked(spec.kind == SettingKind::kYesNo ? shown_.Yes(field.id)
                                                             : shown_.On(field.id));
            return box;
        }
        case SettingKind::kChoice: {
            auto* combo = new QComboBox;
            for (const char* word : spec.choices)
                combo->addItem(Qs(word));
            // A value that is none of the words shows as no choice and stays as it is.
            combo->setCurrentIndex(shown_.Choice(field.id));
            return combo;
        }
        case SettingKind::kInteger:
            if (SpinBoxFor(spec)) {
                auto* spin = new QSpinBox;
                spin->setRange(static_cast<int>(spec.range.low), static_cast<int>(spec.range.high));
                spin->setValue(static_cast<int>(
                    std::clamp<long>(shown_.Integer(field.id), spin->minimum(), spin->maximum())));
                return spin;
            }
            break;
        case SettingKind::kText:
            if (field.id == SettingId::kBall) {
                // The ball types the flight model knows, or any name typed.
                auto* combo = new QComboBox;
                combo->setEditable(true);
                flight::BallType balls(flight::BallOptions{});
                for (std::string name = balls.NextName(); !name.empty(); name = balls.NextName())
                    combo->addItem(Qs(name));
                combo->setCurrentText(stored);
                combo->lineEdit()->setMaxLength(static_cast<int>(spec.length) - 1);
                return combo;
            }
            break;
        case SettingKind::kNumber:
            break;
    }
    auto* edit = new QLineEdit(stored);
    edit->setMaxLength(static_cast<int>(spec.length) - 1);
    return edit;
}

QString SettingsDialog::Value(const Field& field) const {
    const base::SettingSpec& spec = base::Spec(field.id);
    if (auto* box = qobject_cast<QCheckBox*>(field.editor)) {
        return Qs(spec.choices[box->isChecked() ? 0 : 1]);
    }
    if (auto* combo = qobject_cast<QComboBox*>(field.editor)) {
        return combo->isEditable() || combo->currentIndex() >= 0 ? combo->currentText().trimmed()
                                                                 : QString();
    }
    if (auto* spin = qobject_cast<QSpinBox*>(field.editor)) return QString::number(spin->value());
    return static_cast<QLineEdit*>(field.editor)->text().trimmed();
}

std::optional<QString> SettingsDialog::Problem(const Field& field) const {
    const base::SettingSpec& spec = base::Spec(field.id);
    if (spec.kind != SettingKind::kNumber && spec.kind != SettingKind::kInteger) return {};
    const std::string text = Value(field).toStdString();
    const std::string label = field.label.toStdString();
    const bool whole = spec.kind == SettingKind::kInteger;
    double value = 0.0;
    long integer = 0;
    const bool read = whole ? ReadWhole(text, integer) : ReadNumber(text, value);
    if (whole) value = static_cast<double>(integer);
    if (read && (!spec.range.Bounded() || (value >= spec.range.low && value <= spec.range.high))) {
        return {};
    }
    if (!spec.range.Bounded()) {
        return Format(whole ? MessageId::kSettingWholeNumber : MessageId::kSettingNumber,
                      label.c_str());
    }
    return Format(whole ? MessageId::kSettingWholeNumberBetween : MessageId::kSettingNumberBetween,
                  label.c_str(), Number(spec.range.low).c_str(), Number(spec.range.high).c_str());
}

bool SettingsDialog::CheckAll() {
    for (const Field& field : fields_) {
        const std::optional<QString> problem = Problem(field);
        if (!problem) continue;
        pageList_->setCurrentRow(field.page);
        field.editor->setFocus();
        if (auto* edit = qobject_cast<QLineEdit*>(field.editor)) edit->selectAll();
        Tell(*problem);
        return false;
    }
    return true;
}

bool SettingsDialog::WriteChanges() {
    std::vector<base::Settings::Change> changes;
    for (const Field& field : fields_) {
        const QString value = Value(field);
        if (value != field.initial)
            changes.push_back({field.id, field.member, value.toStdString()});
    }
    if (changes.empty()) return true;
    if (!settings_.WriteAll(changes)) {
        Tell(Format(MessageId::kSettingsNotWritten, settings_.Path().c_str()));
        return false;
    }
    for (Field& field : fields_)
        field.initial = Value(field);
    return true;
}

void SettingsDialog::accept() {
    if (CheckAll() && WriteChanges()) QDialog::accept();
}

void SettingsDialog::Tell(const QString& text) {
    if (prompts_) {
        prompts_->Message(text.toStdString());
    } else {
        QMessageBox::warning(this, windowTitle(), text);
    }
}

bool SettingsDialog::PasswordSet(const base::Settings& settings) {
    return !base::Trim(base::SettingsSnapshot::Read(settings).Text(SettingId::kAdvSettingsPassword))
                .empty();
}

bool SettingsDialog::PasswordMatches(const base::Settings& settings, const QString& typed) {
    return typed.toStdString() ==
           base::SettingsSnapshot::Read(settings).Text(SettingId::kAdvSettingsPassword);
}

bool SettingsDialog::Unlock(const base::Settings& settings, QWidget* parent) {
    if (!PasswordSet(settings)) return true;
    const QString title = Qs(base::Text(MessageId::kSettingsTitle));
    bool ok = false;
    const QString typed =
        QInputDialog::getText(parent, title, Qs(base::Text(MessageId::kPasswordPrompt)),
                              QLineEdit::Password, QString(), &ok);
    if (!ok) return false;
    if (PasswordMatches(settings, typed)) return true;
    QMessageBox::warning(parent, title, Qs(base::Text(MessageId::kPasswordWrong)));
    return false;
}

}  // namespace kyvern::ui
