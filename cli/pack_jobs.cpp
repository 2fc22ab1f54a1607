#include "cli/pack_jobs.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <fstream>
#include <map>
#include <mutex>
#include <new>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <thread>

#include "cli/option_table.h"
#include "cli/terminal_events.h"
#include "job/output_paths.h"
#include "job/variants.h"
#include "model/job_settings.h"

namespace tilvane {

namespace {

using Json = nlohmann::ordered_json;

// Jobs files are written by hand or by a build script: a few megabytes is
// far more than any list of atlases needs.
constexpr std::uintmax_t kMaxJobsFileBytes = 16u << 20;
constexpr std::size_t kMaxAtlases = 100000;

// The keys that are no option of one atlas.
const std::set<std::string, std::less<>> kRefusedKeys = {"jobs", "help", "version", "watch"};

// The command-line text of one value; empty when it cannot be one.
std::optional<std::string> valueText(const Json& value) {
    if (value.is_string()) return value.get<std::string>();
    if (value.is_number()) return value.dump();
    return std::nullopt;
}

// Appends the option `key` with `value` to args; why it cannot be, or nothing.
std::optional<std::string> appendOption(const std::string& key, const Json& value,
                                        std::vector<std::string>& args) {
    const std::string option = "--" + key;
    if (value.is_null() || (value.is_boolean() && !value.get<bool>())) return std::nullopt;
    if (value.is_boolean()) {
        args.push_back(option);
        return std::nullopt;
    }
    if (value.is_array()) {
        for (const Json& element : value) {
            const std::optional<std::string> text = valueText(element);
            if (!text) return "\"" + key + "\": a list holds only strings and numbers";
            args.push_back(option);
            args.push_back(*text);
        }
        return std::nullopt;
    }
    const std::optional<std::string> text = valueText(value);
    if (!text) return "\"" + key + "\" must be a string, a number, true, false, null or a list";
    args.push_back(option);
    args.push_back(*text);
    return std::nullopt;
}

std::optional<std::string> readText(const std::string& path, std::string& text) {
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec) return "cannot read the jobs file " + path + ": " + ec.message();
    if (size > kMaxJobsFileBytes) {
        return "the jobs file " + path + " is larger than " +
               std::to_string(kMaxJobsFileBytes >> 20) + " MiB";
    }
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (!in) return "cannot read the jobs file " + path;
    text = bytes.str();
    return std::nullopt;
}

// The prefix of every line an atlas prints.
std::string tagOf(const PackAtlas& atlas) {
    return "[" + escapeControls(atlas.name) + "] ";
}

// What one atlas printed, once it is done.
struct AtlasOutcome {
    int status = kPackDone;
    std::string out;
    std::string err;
    bool done = false;
};

void writeTagged(std::ostream& stream, const std::string& tag, const std::string& text) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) stream << tag << line << '\n';
}

}  // namespace

std::optional<std::string> readPackJobs(const std::string& path, std::vector<PackAtlas>& atlases) {
    std::string text;
    if (const auto problem = readText(path, text)) return problem;
    const Json document = Json::parse(text, nullptr, false);
    const std::string where = "jobs file " + path + ": ";
    if (document.is_discarded()) return where + "not valid JSON";
    if (!document.is_object()) return where + "not a JSON object";
    for (const auto& [key, value] : document.items()) {
        if (key != "atlases" && key != "defaults") {
            return where + "unknown key \"" + key + "\" (it holds \"atlases\" and \"defaults\")";
        }
    }
    const Json noDefaults = Json::object();
    const Json& defaults = document.contains("defaults") ? document["defaults"] : noDefaults;
    if (!defaults.is_object()) return where + "\"defaults\" must be an object";
    if (!document.contains("atlases") || !document["atlases"].is_array() ||
        document["atlases"].empty()) {
        return where + "\"atlases\" must be a list of one atlas or more";
    }
    const Json& list = document["atlases"];
    if (list.size() > kMaxAtlases)
        return where + "more than " + std::to_string(kMaxAtlases) + " atlases";

    std::set<std::string> names;
    atlases.clear();
    for (std::size_t i = 0; i < list.size(); ++i) {
        const Json& entry = list[i];
        std::string name = "atlas " + std::to_string(i + 1);
        if (!entry.is_object()) return where + name + " is not an object";
        // The defaults, each replaced by the atlas's own value of its key.
        Json merged = defaults;
        for (const auto& [key, value] : entry.items()) merged[key] = value;
        if (merged.contains("name")) {
            if (!merged["name"].is_string() || merged["name"].get<std::string>().empty()) {
                return where + name + ": \"name\" must be a string, not empty";
            }
            name = merged["name"].get<std::string>();
        }
        const std::string atlasWhere = where + "atlas \"" + name + "\": ";
        if (!names.insert(name).second) return atlasWhere + "another atlas has that name";
        std::vector<std::string> args;
        for (const auto& [key, value] : merged.items()) {
            if (key == "name") continue;
            if (kRefusedKeys.count(key) > 0) {
                return atlasWhere + "\"" + key + "\" is no option of one atlas";
            }
            if (const auto problem = appendOption(key, value, args)) return atlasWhere + *problem;
        }
        PackAtlas atlas{name, {}};
        atlas.request.jobSpec.settings = defaultJobSettings();
        if (const auto error = parsePackArguments(args, atlas.request)) return atlasWhere + *error;
        // The atlas's options come from the jobs file: a depfile names it too.
        atlas.request.alsoRead.push_back(path);
        atlases.push_back(std::move(atlas));
    }
    return std::nullopt;
}

std::optional<std::string> packJobsConflict(const std::vector<PackAtlas>& atlases) {
    std::vector<OutputSetPlan> plans;
    for (const PackAtlas& atlas : atlases) {
        const JobSpec jobSpec = jobSpecOf(atlas.request);
        OutputSetPlan plan = jobOutputSet(jobSpec, jobSpec.sizing.pages ? 1 : 0);
        plan.owner = "atlas " + atlas.name;
        for (PlannedOutput& o : plan.outputs) o.owner = plan.owner;
        plans.push_back(std::move(plan));
    }
    // Each atlas's inputs against its own outputs, then every other's.
    for (std::size_t a = 0; a < plans.size(); ++a) {
        OutputSetPlan all = plans[a];
        for (std::size_t b = 0; b < plans.size(); ++b) {
            if (b == a) continue;
            all.outputs.insert(all.outputs.end(), plans[b].outputs.begin(), plans[b].outputs.end());
        }
        if (auto conflict = findOutputSetConflict(all)) return conflict;
    }
    return std::nullopt;
}

int runPackJobs(const std::vector<PackAtlas>& atlases, const PackJobsOptions& options,
                PackConsole& console) {
    if (atlases.empty()) return kPackDone;
    unsigned workers = options.workers;
    // One more than the cores: an atlas waiting for its files to reach the
    // disk leaves a core to another (bench/jobs_benchmark.cpp measures it).
    if (workers == 0) workers = std::max(1u, std::thread::hardware_concurrency()) + 1;
    workers = static_cast<unsigned>(std::min<std::size_t>(workers, atlases.size()));
    // The atlases at work share the budget.
    const std::uint32_t share = options.memoryBudgetMiB / workers;

    std::vector<AtlasOutcome> outcomes(atlases.size());
    std::mutex mutex;
    std::size_t printed = 0;
    std::atomic<std::size_t> next{0};
    // Prints the atlases done, in order, up to the first still at work.
    const auto printDone = [&] {
        while (printed < outcomes.size() && outcomes[printed].done) {
            const std::string tag = tagOf(atlases[printed]);
            writeTagged(console.out, tag, outcomes[printed].out);
            writeTagged(console.err, tag, outcomes[printed].err);
            console.out << std::flush;
            console.err << std::flush;
            outcomes[printed].out.clear();
            outcomes[printed].err.clear();
            ++printed;
        }
    };
    const auto work = [&] {
        for (std::size_t i; (i = next.fetch_add(1)) < atlases.size();) {
            PackRequest request = atlases[i].request;
            request.memoryBudgetMiB = std::min(request.memoryBudgetMiB, share);
            std::ostringstream out, err;
            PackConsole quiet{out, err, false, nullptr};
            int status = kPackSaveFailed;
            try {
                status = runPackRequest(request, quiet);
            } catch (const std::bad_alloc&) {
                err << "tilvane-pack: out of memory\n";
            } catch (...) {
                err << "tilvane-pack: the build stopped on an unexpected error\n";
            }
            const std::lock_guard lock(mutex);
            outcomes[i] = {status, out.str(), err.str(), true};
            printDone();
        }
    };
    {
        std::vector<std::jthread> helpers;
        for (unsigned t = 1; t < workers; ++t) {
            try {
                helpers.emplace_back(work);
            } catch (const std::system_error&) {
                break;  // fewer workers only take longer
            }
        }
        work();
    }

    int worst = kPackDone;
    std::string failed;
    for (std::size_t i = 0; i < atlases.size(); ++i) {
        worst = std::max(worst, outcomes[i].status);
        if (outcomes[i].status != kPackDone) {
            failed += (failed.empty() ? "" : ", ") + escapeControls(atlases[i].name) +
                      " (exit status " + std::to_string(outcomes[i].status) + ")";
        }
    }
    if (!failed.empty()) {
        console.err << "tilvane-pack: --jobs: failed: " << failed << '\n' << std::flush;
    }
    return worst;
}

}  // namespace tilvane
