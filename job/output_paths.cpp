#include "job/output_paths.h"

#include <sys/stat.h>

#include <filesystem>
#include <vector>

#include "image/mask.h"
#include "model/path_helpers.h"

namespace tilvane {

namespace {

namespace fs = std::filesystem;

// Links followed in a row before a dangling chain counts as a loop, as the
// kernel counts them.
constexpr int kMaxLinkHops = 40;

struct FileId {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileId&) const = default;
};

struct Entry {
    fs::path resolved;
    std::optional<FileId> id;  // when the path reaches an existing entry
    bool isFolder = false;
    // A device or FIFO is written straight through and replaces nothing, so
    // several outputs may share one (--text /dev/null beside --save-settings
    // /dev/null).
    bool isStream = false;
};

// The entry a write to `path` reaches: absolute, with symbolic links, ".",
// ".." and repeated separators resolved, and no trailing separator.
fs::path resolvedPath(const std::string& path) {
    std::error_code ec;
    fs::path p = fs::absolute(path, ec);
    if (ec) p = path;
    // A write follows a dangling link to the file it names, which
    // weakly_canonical would leave unresolved.
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        if (!fs::is_symlink(fs::symlink_status(p, ec)) || fs::exists(p, ec)) break;
        const fs::path target = fs::read_symlink(p, ec);
        if (ec) break;
        p = target.is_absolute() ? target : p.parent_path() / target;
    }
    fs::path resolved = fs::weakly_canonical(p, ec);
    if (ec) resolved = p.lexically_normal();
    if (!resolved.has_filename() && resolved.has_relative_path()) {
        resolved = resolved.parent_path();
    }
    return resolved;
}

// The entry at an already resolved path.
Entry entryAt(fs::path resolved) {
    Entry entry;
    entry.resolved = std::move(resolved);
    struct stat st {};
    if (::stat(entry.resolved.c_str(), &st) == 0) {
        entry.id = FileId{st.st_dev, st.st_ino};
        entry.isFolder = S_ISDIR(st.st_mode);
        entry.isStream = S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode);
    }
    return entry;
}

Entry entryOf(const std::string& path) {
    return entryAt(resolvedPath(path));
}

bool sameEntry(const Entry& a, const Entry& b) {
    if (a.id && b.id) return *a.id == *b.id;
    return !a.id && !b.id && a.resolved == b.resolved;
}

// The input images the build would read, by identity: (id, name) of every
// regular file of the folder with a supported extension, links followed.
std::vector<std::pair<FileId, std::string>> inputImages(const std::string& inputFolder) {
    std::vector<std::pair<FileId, std::string>> images;
    std::error_code ec;
    for (fs::directory_iterator it(inputFolder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!isSupportedInputFile(name)) continue;
        struct stat st {};
        if (::stat(it->path().c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            images.emplace_back(FileId{st.st_dev, st.st_ino}, name);
        }
    }
    return images;
}

struct Output {
    std::string_view label;  // as the message names it, after "The "
    std::string path;
    Entry entry;
};

constexpr std::string_view kImageLabel = "Output Image File";
constexpr std::string_view kMaskLabel = "mask image";
constexpr std::string_view kTextLabel = "Output Text File";
constexpr std::string_view kSettingsLabel = "settings file";

}  // namespace

bool imageInInputFolder(const JobSettings& settings) {
    const std::string image = trimWhiteSpace(settings.outputImageFile);
    if (image.empty()) return false;
    return sameEntry(entryAt(resolvedPath(image).parent_path()), entryOf(settings.inputFolder));
}

std::optional<std::string> findOutputConflict(const JobSettings& settings,
                                              std::string_view extraOutput) {
    const std::string image = trimWhiteSpace(settings.outputImageFile);
    std::vector<Output> outputs;
    const auto add = [&](std::string_view label, std::string path) {
        if (!path.empty()) outputs.push_back({label, path, entryOf(path)});
    };
    add(kImageLabel, image);
    if (settings.createMask != 0 && !image.empty()) add(kMaskLabel, maskPathFor(image));
    add(kTextLabel, settings.outputTextFile);
    add(kSettingsLabel, std::string(extraOutput));

    // The input image an output would replace, as the build names it.
    const Entry inputFolder = entryOf(settings.inputFolder);
    std::optional<std::vector<std::pair<FileId, std::string>>> inputs;
    const auto inputImageAt = [&](const Entry& entry) -> std::optional<std::string> {
        const std::string name = entry.resolved.filename().string();
        if (isSupportedInputFile(name) &&
            sameEntry(entryAt(entry.resolved.parent_path()), inputFolder)) {
            return settings.inputFolder + name;
        }
        if (!entry.id) return std::nullopt;
        if (!inputs) inputs = inputImages(settings.inputFolder);
        for (const auto& [id, inputName] : *inputs) {
            if (id == *entry.id) return settings.inputFolder + inputName;
        }
        return std::nullopt;
    };

    for (std::size_t i = 0; i < outputs.size(); ++i) {
        const Output& o = outputs[i];
        const std::string subject = "The " + std::string(o.label) + "\n" + o.path + "\n";
        if (o.entry.isFolder && o.label != kSettingsLabel) return subject + "is a folder.";
        if (o.label == kImageLabel && imageInInputFolder(settings)) {
            return std::string(kImageInInputFolder);
        }
        if (const std::optional<std::string> input = inputImageAt(o.entry)) {
            return subject + "must not be an image of the Input Folder\n" + *input;
        }
        for (std::size_t j = 0; j < i && !o.entry.isStream; ++j) {
            if (sameEntry(o.entry, outputs[j].entry)) {
                return subject + "must not be the same file as the " +
                       std::string(outputs[j].label) + "\n" + outputs[j].path;
            }
        }
    }
    return std::nullopt;
}

}  // namespace tilvane
