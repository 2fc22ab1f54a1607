#pragma once

#include <string>
#include <vector>

#include "image/image_file.h"
#include "layout/geometry.h"

namespace tilvane {

// An output file that could not be written: which one, its path, and the
// cause (an errno value, for strerror).
struct OutputFailure {
    enum class Output { image, mask, text, settings };
    Output output = Output::image;
    std::string path;
    int error = 0;
};

// The outputs of one job, each written whole before any is put in place.
// Each stage call answers 0 when the file's bytes are complete, else the errno
// of the cause; commitAll puts every staged file in place, discard drops them.
class StagedOutputs {
public:
    StagedOutputs();
    ~StagedOutputs();
    StagedOutputs(const StagedOutputs&) = delete;
    StagedOutputs& operator=(const StagedOutputs&) = delete;
    StagedOutputs(StagedOutputs&&) noexcept;
    StagedOutputs& operator=(StagedOutputs&&) noexcept;

    int stageImage(const PixelImage* image, const std::string& path, const SaveOptions& options);
    // The mask of an atlas of the given size at maskPathFor(imagePath).
    int stageMask(const std::string& imagePath, Size atlas, const std::vector<Rect>& placedRects);
    int stageText(const std::string& path, const std::string& bytes);
    int stageSettings(const std::string& path, const std::string& bytes);

    // Puts every staged file in place, in the order staged; answers the ones
    // that could not be.
    std::vector<OutputFailure> commitAll();
    void discard();

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace tilvane
