#pragma once

#include <QGroupBox>
#include <string>
#include <vector>

#include "model/jobspec.h"

namespace tilvane {

struct ExtensionOption;

// The "More options" group: one control per row of the table of options
// beyond the described ones (the table tilvane-pack and the settings file's
// extension block read), so an option added there appears here too. The
// panel holds the values; the window takes them at GO! and saves them with
// the settings.
class MoreOptionsPanel : public QGroupBox {
    Q_OBJECT

public:
    explicit MoreOptionsPanel(QWidget* parent = nullptr);

    // Shows the entries (an option not among them at its default); the
    // entries of keys the table does not know are kept and given back. The
    // problems, one per value the table refuses (that option keeps its default).
    std::vector<std::string> setEntries(const std::vector<ExtensionEntry>& entries);
    // The options that differ from their defaults, then the kept ones, as the
    // extension block stores them.
    std::vector<ExtensionEntry> entries() const;
    // Sets the job's options beyond the settings to what the controls show.
    void applyTo(JobSpec& jobSpec) const;

    // The control of an option, by its key; null for a key not in the table.
    QWidget* control(const std::string& key) const;

signals:
    // The user changed a value.
    void edited();

private:
    struct Binding {
        const ExtensionOption* row;
        QWidget* control;
    };
    // The value the control shows, as the command line gives it.
    static std::string valueOf(const Binding& binding);
    static void show(const Binding& binding, const std::string& value);

    std::vector<Binding> bindings_;
    std::vector<ExtensionEntry> kept_;
};

}  // namespace tilvane
