#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "image/image_file.h"
#include "layout/geometry.h"

namespace tilvane {

// An output file that could not be written: which one, its path, and the
// cause (an errno value, for strerror).
struct OutputFailure {
    enum class Output { image, mask, text, settings, depfile, layout };
    Output output = Output::image;
    std::string path;
    int error = 0;
};

// The outputs of one job (every page's atlas, mask and text file, the
// settings file, the depfile and the layout file), each written whole before any is put in place:
// an OutputSet with each output's role. Each stage call answers 0 when the file's bytes are
// complete, else the errno of the cause. commitAll puts every staged file in
// place, or none when any failed, holding a FolderLock on their folders while
// it does; discard drops them, leaving every old file.
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
    int stageDepfile(const std::string& path, const std::string& bytes);
    int stageLayout(const std::string& path, const std::string& bytes);

    // Puts every staged file in place, in the order staged, or none; answers
    // the ones that failed. After a commit in which all were put in place,
    // afterwards runs while the folders are still locked (what must see this
    // run's files and no other's). The set is empty afterwards.
    std::vector<OutputFailure> commitAll(const std::function<void()>& afterwards = nullptr);
    void discard();

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace tilvane
