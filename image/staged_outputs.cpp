#include "image/staged_outputs.h"

#include <cerrno>

#include "image/folder_lock.h"
#include "image/mask.h"
#include "image/output_set.h"

namespace tilvane {

struct StagedOutputs::Impl {
    OutputSet set;
    // Which output each staged path is, in staging order.
    std::vector<std::pair<std::string, OutputFailure::Output>> roles;

    OutputFile& stage(const std::string& path, OutputFailure::Output role) {
        roles.emplace_back(path, role);
        return set.stage(path);
    }
};

StagedOutputs::StagedOutputs() : impl_(std::make_unique<Impl>()) {}
StagedOutputs::~StagedOutputs() = default;
StagedOutputs::StagedOutputs(StagedOutputs&&) noexcept = default;
StagedOutputs& StagedOutputs::operator=(StagedOutputs&&) noexcept = default;

int StagedOutputs::stageImage(const PixelImage* image, const std::string& path,
                              const SaveOptions& options) {
    OutputFile& file = impl_->stage(path, OutputFailure::Output::image);
    return file.error() != 0 ? file.error() : writeBitmapTo(file, image, options);
}

int StagedOutputs::stageMask(const std::string& imagePath, Size atlas,
                             const std::vector<Rect>& placedRects) {
    OutputFile& file = impl_->stage(maskPathFor(imagePath), OutputFailure::Output::mask);
    if (file.error() != 0) return file.error();
    return writeMaskImageTo(file, static_cast<std::uint32_t>(atlas.width),
                            static_cast<std::uint32_t>(atlas.height), placedRects);
}

int StagedOutputs::stageText(const std::string& path, const std::string& bytes) {
    OutputFile& file = impl_->stage(path, OutputFailure::Output::text);
    file.write(bytes);
    return file.error();
}

int StagedOutputs::stageSettings(const std::string& path, const std::string& bytes) {
    OutputFile& file = impl_->stage(path, OutputFailure::Output::settings);
    file.write(bytes);
    return file.error();
}

int StagedOutputs::stageDepfile(const std::string& path, const std::string& bytes) {
    OutputFile& file = impl_->stage(path, OutputFailure::Output::depfile);
    file.write(bytes);
    return file.error();
}

int StagedOutputs::stageLayout(const std::string& path, const std::string& bytes) {
    OutputFile& file = impl_->stage(path, OutputFailure::Output::layout);
    file.write(bytes);
    return file.error();
}

std::vector<OutputFailure> StagedOutputs::commitAll(const std::function<void()>& afterwards) {
    std::vector<OutputFailure> failures;
    {
        // Two runs writing the same folders take turns, so neither ends with
        // a mix of both runs' files.
        const FolderLock lock(impl_->set.paths());
        if (!impl_->set.commitAll()) {
            for (const OutputSet::Failure& f : impl_->set.failures()) {
                OutputFailure::Output role = OutputFailure::Output::image;
                for (const auto& [path, which] : impl_->roles) {
                    if (path == f.path) role = which;
                }
                failures.push_back({role, f.path, f.error != 0 ? f.error : EIO});
            }
        } else if (afterwards) {
            afterwards();
        }
    }
    discard();
    return failures;
}

void StagedOutputs::discard() {
    impl_ = std::make_unique<Impl>();
}

}  // namespace tilvane
