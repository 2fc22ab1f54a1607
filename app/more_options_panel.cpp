#include "app/more_options_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <algorithm>
#include <climits>

#include "settings/extension_options.h"

namespace tilvane {

namespace {

QString qt(const std::string& text) {
    return QString::fromStdString(text);
}

// A number option that a default job leaves without a value.
bool mayBeUnset(const ExtensionOption& row) {
    return row.kind == OptionKind::number && row.write(JobSpec{}).empty();
}

}  // namespace

MoreOptionsPanel::MoreOptionsPanel(QWidget* parent) : QGroupBox(parent) {
    setObjectName(QStringLiteral("moreOptionsGroup"));
    setTitle(QStringLiteral("More options"));
    auto* form = new QFormLayout(this);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    for (const ExtensionOption& row : extensionOptions()) {
        QWidget* control = nullptr;
        switch (row.kind) {
            case OptionKind::flag: {
                auto* check = new QCheckBox(qt(row.label), this);
                connect(check, &QCheckBox::clicked, this, &MoreOptionsPanel::edited);
                form->addRow(check);
                control = check;
                break;
            }
            case OptionKind::number: {
                auto* spin = new QSpinBox(this);
                // A spin box holds an int: larger limits are out of a user's reach anyway.
                // An option that may be unset shows its default text one below the least.
                const int unset = mayBeUnset(row) ? 1 : 0;
                spin->setRange(
                    static_cast<int>(std::min<std::uint32_t>(row.least, INT_MAX)) - unset,
                    static_cast<int>(std::min<std::uint32_t>(row.most, INT_MAX)));
                if (unset) spin->setSpecialValueText(qt(row.defaultText));
                connect(spin, &QSpinBox::valueChanged, this, &MoreOptionsPanel::edited);
                control = spin;
                break;
            }
            case OptionKind::choice: {
                auto* combo = new QComboBox(this);
                for (const OptionChoice& choice : row.choices) combo->addItem(qt(choice.label));
                connect(combo, &QComboBox::activated, this, &MoreOptionsPanel::edited);
                control = combo;
                break;
            }
            case OptionKind::text: {
                auto* edit = new QLineEdit(this);
                connect(edit, &QLineEdit::textEdited, this, &MoreOptionsPanel::edited);
                control = edit;
                break;
            }
        }
        control->setObjectName(qt(row.key));
        control->setToolTip(qt(row.meaning));
        if (row.kind != OptionKind::flag) {
            auto* label = new QLabel(qt(row.label), this);
            label->setBuddy(control);
            form->addRow(label, control);
        }
        bindings_.push_back({&row, control});
    }
    setEntries({});
}

std::string MoreOptionsPanel::valueOf(const Binding& binding) {
    switch (binding.row->kind) {
        case OptionKind::flag:
            return static_cast<QCheckBox*>(binding.control)->isChecked() ? "1" : "0";
        case OptionKind::number: {
            const auto* spin = static_cast<QSpinBox*>(binding.control);
            if (mayBeUnset(*binding.row) && spin->value() == spin->minimum()) return {};
            return std::to_string(spin->value());
        }
        case OptionKind::choice: {
            const int i = static_cast<QComboBox*>(binding.control)->currentIndex();
            const auto& choices = binding.row->choices;
            return i >= 0 && static_cast<std::size_t>(i) < choices.size()
                       ? choices[static_cast<std::size_t>(i)].value
                       : std::string();
        }
        case OptionKind::text:
            return static_cast<QLineEdit*>(binding.control)->text().toStdString();
    }
    return {};
}

void MoreOptionsPanel::show(const Binding& binding, const std::string& value) {
    const QSignalBlocker blocker(binding.control);
    switch (binding.row->kind) {
        case OptionKind::flag:
            static_cast<QCheckBox*>(binding.control)->setChecked(value == "1");
            break;
        case OptionKind::number: {
            auto* spin = static_cast<QSpinBox*>(binding.control);
            spin->setValue(value.empty() ? spin->minimum() : qt(value).toInt());
            break;
        }
        case OptionKind::choice: {
            const auto& choices = binding.row->choices;
            const auto at = std::find_if(choices.begin(), choices.end(),
                                         [&](const OptionChoice& c) { return c.value == value; });
            static_cast<QComboBox*>(binding.control)
                ->setCurrentIndex(at == choices.end() ? 0 : static_cast<int>(at - choices.begin()));
            break;
        }
        case OptionKind::text:
            static_cast<QLineEdit*>(binding.control)->setText(qt(value));
            break;
    }
}

std::vector<std::string> MoreOptionsPanel::setEntries(const std::vector<ExtensionEntry>& entries) {
    JobSpec shown;
    std::vector<std::string> problems = applyExtensionEntries(entries, shown);
    kept_ = shown.keptExtensions;
    for (const Binding& binding : bindings_) show(binding, binding.row->write(shown));
    return problems;
}

void MoreOptionsPanel::applyTo(JobSpec& jobSpec) const {
    for (const Binding& binding : bindings_) binding.row->read(valueOf(binding), jobSpec);
    jobSpec.keptExtensions = kept_;
}

std::vector<ExtensionEntry> MoreOptionsPanel::entries() const {
    JobSpec values;
    applyTo(values);
    return extensionEntriesOf(values);
}

QWidget* MoreOptionsPanel::control(const std::string& key) const {
    for (const Binding& binding : bindings_) {
        if (binding.row->key == key) return binding.control;
    }
    return nullptr;
}

}  // namespace tilvane
