#include "image/staged_outputs.h"

#include "image/mask.h"
#include "image/output_file.h"

namespace tilvane {

struct StagedOutputs::Impl {
    struct Entry {
        OutputFailure::Output output;
        std::string path;
        std::string bytes;
        const PixelImage* image = nullptr;
    };
};

StagedOutputs::StagedOutputs() = default;
StagedOutputs::~StagedOutputs() = default;
StagedOutputs::StagedOutputs(StagedOutputs&&) noexcept = default;
StagedOutputs& StagedOutputs::operator=(StagedOutputs&&) noexcept = default;

int StagedOutputs::stageImage(const PixelImage* image, const std::string& path,
                              const SaveOptions& options) {
    return SaveBitmapToFile(image, path, options);
}

int StagedOutputs::stageMask(const std::string& imagePath, Size atlas,
                             const std::vector<Rect>& placedRects) {
    int error = 0;
    return createMaskImage(imagePath, static_cast<std::uint32_t>(atlas.width),
                           static_cast<std::uint32_t>(atlas.height), placedRects, &error)
               ? 0
               : error;
}

int StagedOutputs::stageText(const std::string& path, const std::string& bytes) {
    return writeOutputFile(path, bytes.data(), bytes.size());
}

int StagedOutputs::stageSettings(const std::string& path, const std::string& bytes) {
    return writeOutputFile(path, bytes.data(), bytes.size());
}

std::vector<OutputFailure> StagedOutputs::commitAll() {
    return {};
}

void StagedOutputs::discard() {}

}  // namespace tilvane
