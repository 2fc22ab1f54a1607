#include "job/output_paths.h"

#include <limits.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <unordered_map>
#include <vector>

#include "image/mask.h"
#include "job/page_files.h"
#include "model/build_extras.h"
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

struct FileIdHash {
    std::size_t operator()(const FileId& id) const {
        const std::size_t d = std::hash<dev_t>()(id.device);
        return std::hash<ino_t>()(id.inode) ^ (d + 0x9e3779b97f4a7c15ULL + (d << 6) + (d >> 2));
    }
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
constexpr std::string_view kLayoutLabel = "layout file";
constexpr std::string_view kDepfileLabel = "depfile";

// What the search of a run will read, hashed for one look-up per output.
class InputIndex {
public:
    InputIndex(const std::string& inputFolder, bool recursive)
        : inputFolder_(inputFolder), recursive_(recursive), top_(entryOf(inputFolder)) {
        const fs::path top = inputFolder.empty() ? fs::path(".") : fs::path(inputFolder);
        walk(top, "", 0);
    }

    // The input image a write reaching the entry would replace or create, as
    // the build names it.
    std::optional<std::string> imageAt(const Entry& entry) {
        const std::string name = entry.resolved.filename().string();
        if (isSupportedInputFile(name)) {
            if (inputFolderHas(entry.resolved.parent_path())) return inputFolder_ + name;
            const Entry& parent = folderAt(entry.resolved.parent_path());
            if (parent.id) {
                const auto sub = subFolders_.find(*parent.id);
                if (sub != subFolders_.end()) return inputFolder_ + sub->second + name;
            }
        }
        if (entry.id) {
            const auto image = images_.find(*entry.id);
            if (image != images_.end()) return image->second;
        } else {
            const auto target = linkTargets_.find(entry.resolved.string());
            if (target != linkTargets_.end()) return target->second;
        }
        return std::nullopt;
    }

    // Whether the folder (resolved) is the input folder itself.
    bool inputFolderHas(const fs::path& folder) { return sameEntry(folderAt(folder), top_); }

private:
    // Lists a folder as searchFolderTree does, below the top only when
    // recursive; `prefix` is its path relative to the top, "" or ending in "/".
    void walk(const fs::path& dir, const std::string& prefix, int depth) {
        std::error_code ec;
        for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
            const std::string name = prefix + it->path().filename().string();
            std::error_code kindError;
            struct stat st {};
            if (it->is_directory(kindError)) {
                if (recursive_ && !it->is_symlink(kindError) && depth < kMaxFolderDepth &&
                    ::stat(it->path().c_str(), &st) == 0) {
                    subFolders_.emplace(FileId{st.st_dev, st.st_ino}, name + "/");
                    walk(it->path(), name + "/", depth + 1);
                }
                continue;
            }
            if (!isSupportedInputFile(name)) continue;
            if (::stat(it->path().c_str(), &st) == 0) {
                if (S_ISREG(st.st_mode)) {
                    images_.emplace(FileId{st.st_dev, st.st_ino}, inputFolder_ + name);
                }
            } else if (it->is_symlink(kindError)) {
                // Dangling: a file written where it leads becomes this input.
                linkTargets_.emplace(resolvedPath(it->path().string()).string(),
                                     inputFolder_ + name);
            }
        }
    }

    // Outputs of many pages share a folder: each is looked at once.
    const Entry& folderAt(const fs::path& folder) {
        const auto [at, added] = folders_.try_emplace(folder.string());
        if (added) at->second = entryAt(folder);
        return at->second;
    }

    std::string inputFolder_;
    bool recursive_;
    Entry top_;
    // First found wins, as the folder lists them.
    std::unordered_map<FileId, std::string, FileIdHash> images_;
    std::unordered_map<FileId, std::string, FileIdHash> subFolders_;  // relative, "/" ended
    std::unordered_map<std::string, std::string> linkTargets_;
    std::unordered_map<std::string, Entry> folders_;
};

std::string_view labelOf(OutputRole role) {
    switch (role) {
        case OutputRole::image:
            return kImageLabel;
        case OutputRole::mask:
            return kMaskLabel;
        case OutputRole::text:
            return kTextLabel;
        case OutputRole::layout:
            return kLayoutLabel;
        case OutputRole::depfile:
            return kDepfileLabel;
        case OutputRole::settings:
            break;
    }
    return kSettingsLabel;
}

// The output as a message names it, after "The ".
std::string nameOf(const PlannedOutput& output, bool paged) {
    std::string name(labelOf(output.role));
    if (paged && output.role != OutputRole::settings && output.role != OutputRole::depfile &&
        output.role != OutputRole::layout) {
        name += " of page ";
        name += std::to_string(output.page + 1);
    }
    if (!output.owner.empty()) name += " of " + output.owner;
    return name;
}

// Why the path cannot be written under any circumstances: too long for the
// kernel to take.
std::optional<std::string> lengthRefusal(const std::string& path) {
    if (path.size() >= PATH_MAX) {
        return "is a path longer than " + std::to_string(PATH_MAX - 1) + " bytes.";
    }
    if (fs::path(path).filename().string().size() > NAME_MAX) {
        return "has a file name longer than " + std::to_string(NAME_MAX) + " bytes.";
    }
    return std::nullopt;
}

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

OutputSetPlan planOutputSet(const JobSettings& settings, std::size_t pageCount, bool recursive,
                            std::string_view settingsFile, std::string_view depfile,
                            std::string_view layoutFile, bool oneTextFile) {
    OutputSetPlan plan{settings.inputFolder, recursive, {}, {}};
    const std::string image = trimWhiteSpace(settings.outputImageFile);
    const std::string& text = settings.outputTextFile;
    const auto named = [pageCount](const std::string& path, std::size_t page) {
        return pageCount == 0 ? path : pageFilePath(path, page + 1);
    };
    for (std::size_t page = 0; page < std::max<std::size_t>(pageCount, 1); ++page) {
        const auto add = [&](OutputRole role, std::string path) {
            if (!path.empty()) plan.outputs.push_back({role, page, std::move(path), {}});
        };
        if (!image.empty()) {
            const std::string pageImage = named(image, page);
            add(OutputRole::image, pageImage);
            if (settings.createMask != 0) add(OutputRole::mask, maskPathFor(pageImage));
        }
        if (!text.empty() && !oneTextFile) add(OutputRole::text, named(text, page));
        if (!text.empty() && oneTextFile && page == 0) add(OutputRole::text, text);
        if (page == 0) add(OutputRole::settings, std::string(settingsFile));
        if (page == 0) add(OutputRole::depfile, std::string(depfile));
        if (page == 0) add(OutputRole::layout, std::string(layoutFile));
    }
    return plan;
}

std::optional<std::string> findOutputSetConflict(const OutputSetPlan& plan) {
    bool paged = false;
    for (const PlannedOutput& o : plan.outputs) {
        paged = paged || (o.role != OutputRole::settings && o.role != OutputRole::depfile &&
                          o.role != OutputRole::layout && o.page > 0);
    }
    InputIndex inputs(plan.inputFolder, plan.recursive);
    // The outputs before, by identity when they exist, else by resolved path.
    std::unordered_map<FileId, const PlannedOutput*, FileIdHash> byId;
    std::unordered_map<std::string, const PlannedOutput*> byPath;

    for (const PlannedOutput& o : plan.outputs) {
        if (o.path.empty()) continue;
        const std::string subject = "The " + nameOf(o, paged) + "\n" + o.path + "\n";
        if (const std::optional<std::string> tooLong = lengthRefusal(o.path)) {
            return subject + *tooLong;
        }
        const Entry entry = entryOf(o.path);
        if (entry.isFolder && o.role != OutputRole::settings) return subject + "is a folder.";
        const std::string inputFolder =
            plan.owner.empty() ? std::string("Input Folder") : "Input Folder of " + plan.owner;
        if (o.role == OutputRole::image && inputs.inputFolderHas(entry.resolved.parent_path())) {
            if (plan.owner.empty()) return std::string(kImageInInputFolder);
            return subject + "must not be in the " + inputFolder + "\n" + plan.inputFolder;
        }
        if (const std::optional<std::string> input = inputs.imageAt(entry)) {
            return subject + "must not be an image of the " + inputFolder + "\n" + *input;
        }
        if (entry.isStream) continue;
        const PlannedOutput* first =
            entry.id ? byId.try_emplace(*entry.id, &o).first->second
                     : byPath.try_emplace(entry.resolved.string(), &o).first->second;
        if (first != &o) {
            return subject + "must not be the same file as the " + nameOf(*first, paged) + "\n" +
                   first->path;
        }
    }
    return std::nullopt;
}

}  // namespace tilvane
