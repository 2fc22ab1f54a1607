#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "model/build_run.h"
#include "model/job_settings.h"
#include "model/window_services.h"

namespace tilvane::testing {

// A WindowServices that records what the build shows and answers dialogs as
// told, so tests can drive startBuild / buildStep / finishBuild headless.
class RecordingWindow : public WindowServices {
public:
    // What a report showed; the done dialog shows no lines and no failures.
    // The status is the one on show when it opened.
    struct Report {
        std::vector<std::string> lines;
        std::string imagePath;
        std::string textPath;
        int added = 0;
        int failed = 0;
        std::string status;
    };

    RecordingWindow(JobSettings& settings, BuildRun& run) : settings_(settings), run_(run) {}

    const std::string& statusText() const override { return status_; }
    void setStatusText(std::string text) override { status_ = std::move(text); }
    void refreshControls(bool refill) override {
        applyRefreshRules(settings_, run_, list_, refill);
        shownStatuses.push_back(status_);
        if (onRefresh) onRefresh();
    }
    FileList& fileList() override { return list_; }
    void showMessage(const std::string& text) override {
        messages.push_back(text);
        statusAtMessage.push_back(status_);
    }
    void showReport(const std::vector<std::string>& lines, const std::string& imagePath,
                    const std::string& textPath, int added, int failed) override {
        reports.push_back({lines, imagePath, textPath, added, failed, status_});
    }
    void showDone(const std::string& imagePath, const std::string& textPath, int added) override {
        dones.push_back({{}, imagePath, textPath, added, 0, status_});
    }
    std::optional<std::string> chooseFile(bool, const std::string&, std::string&,
                                          const std::vector<FileFilter>&, int*) override {
        return std::nullopt;
    }
    void openInExplorer(const std::string&, bool) override {}
    bool runImageOptionsDialog(const std::string& title, std::int32_t* quality,
                               std::int32_t qualityMin, std::int32_t qualityMax,
                               std::int32_t* compression,
                               std::span<const CompressionChoice> choices) override {
        char text[200];
        std::snprintf(text, sizeof text, "%s: quality %d %d..%d, compression %d of %zu",
                      title.c_str(), quality ? *quality : -1, qualityMin, qualityMax,
                      compression ? *compression : -1, choices.size());
        optionRequests.push_back(text);
        if (!answerOptionsOk) return false;
        if (quality && answerQuality) *quality = *answerQuality;
        if (compression && answerCompression) *compression = *answerCompression;
        return true;
    }

    // The statuses that were on show at each refresh, in order.
    std::vector<std::string> shownStatuses;
    std::vector<std::string> messages;
    std::vector<std::string> statusAtMessage;
    std::vector<Report> reports;
    std::vector<Report> dones;
    // Each options dialog as it opened: "TITLE: quality Q MIN..MAX, compression
    // C of CHOICES", with -1 for a quality or compression not asked.
    std::vector<std::string> optionRequests;

    // Runs inside every refresh, as a modal loop would run timer ticks.
    std::function<void()> onRefresh;

    // How the save-options dialog answers.
    bool answerOptionsOk = true;
    std::optional<std::int32_t> answerQuality;
    std::optional<std::int32_t> answerCompression;

private:
    JobSettings& settings_;
    BuildRun& run_;
    FileList list_;
    std::string status_;
};

}  // namespace tilvane::testing
