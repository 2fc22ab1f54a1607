#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "job/job_events.h"
#include "model/job_settings.h"

namespace tilvane::testing {

// JobEvents that record what a job shows and answer the save-options question
// as told (keeping the answer in the settings, as the dialog does), so tests
// can drive a job headless.
class RecordingEvents : public JobEvents {
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

    explicit RecordingEvents(JobSettings& settings) : settings_(settings) {}

    const std::string& statusText() const { return status_; }
    void setStatusText(std::string text) { status_ = std::move(text); }

    void status(const std::string& text) override {
        status_ = text;
        shownStatuses.push_back(status_);
        if (onRefresh) onRefresh();
    }
    void progress(JobPhase, std::size_t, std::size_t, std::string_view) override {}
    void message(const std::string& text) override {
        messages.push_back(text);
        statusAtMessage.push_back(status_);
    }
    void report(const std::vector<std::string>& lines, const std::string& imagePath,
                const std::string& textPath, int added, int failed) override {
        reports.push_back({lines, imagePath, textPath, added, failed, status_});
    }
    void done(const std::string& imagePath, const std::string& textPath, int added) override {
        dones.push_back({{}, imagePath, textPath, added, 0, status_});
    }
    bool askSaveOptions(SaveOptionsQuestion& q) override {
        char text[200];
        std::snprintf(text, sizeof text, "%s: quality %d %d..%d, compression %d of %zu",
                      q.title.c_str(), q.quality ? q.value : -1, q.minimum, q.maximum,
                      q.quality ? -1 : q.value, q.choices.size());
        optionRequests.push_back(text);
        if (!answerOptionsOk) return false;
        const std::optional<std::int32_t> answer = q.quality ? answerQuality : answerCompression;
        if (answer) q.value = *answer;
        (q.quality ? settings_.jpegQuality : settings_.tiffCompression) = q.value;
        return true;
    }

    // Every status shown, in order.
    std::vector<std::string> shownStatuses;
    std::vector<std::string> messages;
    std::vector<std::string> statusAtMessage;
    std::vector<Report> reports;
    std::vector<Report> dones;
    // Each options question as it was asked: "TITLE: quality Q MIN..MAX,
    // compression C of CHOICES", with -1 for a quality or compression not asked.
    std::vector<std::string> optionRequests;

    // Runs with every status, as a modal loop would run timer ticks.
    std::function<void()> onRefresh;

    // How the save-options question is answered.
    bool answerOptionsOk = true;
    // What cancelRequested answers (a Cancel button pressed).
    bool cancel = false;
    bool cancelRequested() override { return cancel; }
    std::optional<std::int32_t> answerQuality;
    std::optional<std::int32_t> answerCompression;

private:
    JobSettings& settings_;
    std::string status_;
};

}  // namespace tilvane::testing
