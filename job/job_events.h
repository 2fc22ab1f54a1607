#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/save_options.h"

namespace tilvane {

// The parts of a job that take time, in the order a job enters them.
enum class JobPhase {
    // From "GO!": the checks, the folder search, decoding and trimming, the order.
    scanning,
    // Choosing the atlas sizes and pages (only when the job sizes them).
    sizing,
    // The steps: each file drawn into its page's atlas.
    placing,
    // The completion: the save options, then every output staged and committed.
    saving,
    // With verify: every written atlas read back and checked (after saving).
    verifying,
};

// The save-options question for a TIFF or JPEG atlas: the title ("TIFF
// Options", "JPEG Options"), the value it starts at and its range, or the
// compression choices. The answer goes into value.
struct SaveOptionsQuestion {
    std::string title;
    bool quality = false;
    std::int32_t value = 0;
    std::int32_t minimum = 0;
    std::int32_t maximum = 0;
    std::span<const CompressionChoice> choices;
};

// What a job tells the front end that runs it, and the one thing it asks. The
// texts are the dialog's own, word for word, in the dialog's order; a front end
// shows them as it shows things. Every call happens on the thread that runs
// the job, between its steps.
class JobEvents {
public:
    virtual ~JobEvents() = default;

    // The status line's new text; shown at once.
    virtual void status(const std::string& text) = 0;
    // How far the phase has come: done of total, and the file at hand (empty
    // outside the steps). Called as each file is done with.
    virtual void progress(JobPhase phase, std::size_t done, std::size_t total,
                          std::string_view name) = 0;
    // A message that stops or ends the job (the dialog's message box); returns
    // when it has been seen.
    virtual void message(const std::string& text) = 0;
    // The job ended with failed files: their lines in order, the two output
    // paths and the totals.
    virtual void report(const std::vector<std::string>& failureLines, const std::string& imagePath,
                        const std::string& textPath, int added, int failed) = 0;
    // The job ended with every file added.
    virtual void done(const std::string& imagePath, const std::string& textPath, int added) = 0;
    // The job sized its atlases: each page's size in order, and whether some
    // page's images found no size of the asked shape (it then has the largest).
    virtual void planned(const std::vector<std::pair<std::int32_t, std::int32_t>>& pageSizes,
                         bool fitFailed) {
        (void)pageSizes;
        (void)fitFailed;
    }
    // Asks for the atlas's save options. True with question.value answered, or
    // false when the user cancelled.
    virtual bool askSaveOptions(SaveOptionsQuestion& question) = 0;
    // Read before each file is placed: true stops the job there, with nothing
    // written (a front end with a Cancel button answers it).
    virtual bool cancelRequested() { return false; }
};

}  // namespace tilvane
