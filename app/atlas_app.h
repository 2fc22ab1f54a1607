#pragma once

#include <memory>

class QApplication;

namespace tilvane {

// The application: owns the QApplication and runs the main window once,
// modally; the process ends when that window closes. Command-line arguments
// are ignored (Qt's own included). SIGTERM, SIGINT and SIGHUP close every open
// dialog and then the window, so the settings are saved on those paths too.
class AtlasApp {
public:
    AtlasApp(int argc, char** argv);
    ~AtlasApp();
    AtlasApp(const AtlasApp&) = delete;
    AtlasApp& operator=(const AtlasApp&) = delete;

    // Runs the main window until it closes; the window's end saves the
    // settings and releases the build. Returns the process's exit status.
    int run();

private:
    int argc_ = 1;
    char* argv_[2] = {nullptr, nullptr};
    std::unique_ptr<QApplication> app_;
};

}  // namespace tilvane
