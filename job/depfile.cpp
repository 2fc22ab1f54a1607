#include "job/depfile.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <system_error>

#include "image/image_formats.h"
#include "job/output_paths.h"
#include "job/variants.h"
#include "textout/depfile_writer.h"

namespace tilvane {

namespace {

namespace fs = std::filesystem;

// The outputs of each atlas's first page (page counts 0: one atlas) or of
// every page, the depfile itself left out.
std::vector<std::string> outputPaths(const BuildJob& job,
                                     const std::vector<std::size_t>& pageCounts) {
    std::vector<std::string> paths;
    for (const PlannedOutput& o : jobOutputSet(job.jobSpec, pageCounts, false).outputs) {
        paths.push_back(o.path);
    }
    return paths;
}

// The folder as every spelling of it resolves; empty when it cannot be.
std::string resolvedFolder(const fs::path& folder) {
    std::error_code ec;
    const fs::path absolute = fs::absolute(folder.empty() ? fs::path(".") : folder, ec);
    if (ec) return {};
    fs::path resolved = fs::weakly_canonical(absolute, ec);
    if (ec) return {};
    if (!resolved.has_filename()) resolved = resolved.parent_path();
    return resolved.string();
}

// The input folder and the sub-folders searched, as the depfile names them.
std::vector<std::string> searchedFolders(const BuildJob& job) {
    const std::string& input = job.jobSpec.settings.inputFolder;
    std::vector<std::string> folders{input};
    for (const std::string& sub : job.run.notes.searchedFolders) folders.push_back(input + sub);
    return folders;
}

}  // namespace

std::optional<std::string> depfileRefusal(const BuildJob& job,
                                          const std::vector<FolderEntry>& entries) {
    const DependencyFile& depfile = job.jobSpec.depfile;
    if (depfile.path.empty()) return std::nullopt;
    const std::string& input = job.jobSpec.settings.inputFolder;
    std::vector<std::string> names =
        outputPaths(job, std::vector<std::size_t>(job.jobSpec.extras.atlasVariants().size(),
                                                  job.jobSpec.sizing.pages ? 1 : 0));
    for (const std::string& folder : searchedFolders(job)) names.push_back(folder);
    for (const FolderEntry& entry : entries) {
        if (entry.size > 0 && isSupportedInputFile(entry.name)) names.push_back(input + entry.name);
    }
    names.insert(names.end(), depfile.alsoRead.begin(), depfile.alsoRead.end());
    if (!job.jobSpec.extras.spriteDataFile.empty())
        names.push_back(job.jobSpec.extras.spriteDataFile);
    for (const std::string& name : names) {
        if (const std::optional<std::string> why = depfileNameProblem(name)) {
            return "The depfile\n" + depfile.path + "\ncannot name\n" + name + "\nbecause " + *why +
                   ": Make and Ninja would read another name.";
        }
    }
    return std::nullopt;
}

std::string depfileText(const BuildJob& job) {
    const JobSpec& jobSpec = job.jobSpec;
    const BuildRun& run = job.run;
    std::vector<std::size_t> pageCounts = variantPageCounts(run);
    if (!jobSpec.sizing.pages) pageCounts.assign(pageCounts.size(), 0);
    const std::vector<std::string> targets = outputPaths(job, pageCounts);

    std::set<std::string> read;
    for (const FileList::Entry& entry : run.fileList.entries()) read.insert(entry.name);
    for (const auto& [name, reason] : run.failedFiles) read.insert(name);
    std::vector<std::string> prerequisites;
    for (const std::string& name : read)
        prerequisites.push_back(jobSpec.settings.inputFolder + name);

    std::set<std::string> written;
    for (const std::string& target : targets) {
        written.insert(resolvedFolder(fs::path(target).parent_path()));
    }
    written.insert(resolvedFolder(fs::path(jobSpec.depfile.path).parent_path()));
    for (const std::string& folder : searchedFolders(job)) {
        if (written.count(resolvedFolder(folder)) == 0) prerequisites.push_back(folder);
    }
    prerequisites.insert(prerequisites.end(), jobSpec.depfile.alsoRead.begin(),
                         jobSpec.depfile.alsoRead.end());
    // The job read it as it reads its images.
    if (!jobSpec.extras.spriteDataFile.empty()) {
        prerequisites.push_back(jobSpec.extras.spriteDataFile);
    }
    return formatDepfile(targets, prerequisites);
}

}  // namespace tilvane
