#include "cli/option_table.h"

#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <array>
#include <cerrno>
#include <cstring>

#include "image/image_formats.h"
#include "job/pages.h"
#include "model/number_text.h"
#include "model/path_helpers.h"
#include "model/scale_variants.h"
#include "settings/extension_options.h"
#include "settings/settings_file.h"
#include "textout/source_rects.h"

namespace tilvane {

namespace {

constexpr std::array<std::string_view, 3> kSortNames = {"name", "size", "random"};
// Why the file named by --settings cannot be read, or empty when it can. The
// loader reads whatever it is given; only a regular file with bytes in it can
// be meant as settings (a folder, a device or an empty file would silently
// leave the defaults). A FIFO is not opened, so the check never waits.
std::optional<std::string> settingsFileProblem(const std::string& path) {
    const std::string problem = "cannot read the settings file " + path;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return errno == ENOENT ? problem : problem + ": " + std::strerror(errno);
    }
    if (S_ISDIR(st.st_mode)) return problem + ": " + std::strerror(EISDIR);
    if (!S_ISREG(st.st_mode)) return problem + ": not a regular file";
    if (st.st_size == 0) return problem + ": the file is empty";
    if (::access(path.c_str(), R_OK) != 0) return problem + ": " + std::strerror(errno);
    return std::nullopt;
}

// What the declarations report back besides the request: the value a check
// refused (and why, when the check says), and why the settings file could not
// be read.
struct ParseNotes {
    std::string rejectedOption;  // "--width N"
    std::string rejectedValue;
    std::string reason;
    std::optional<std::string> settingsProblem;
};

// Numbers are read by the dialog's parser, not CLI11's (which would take 010
// as octal and 0x10 as hex); the plain decimal is handed on, so the range
// checks and the conversion see the number the parser read.
CLI::Validator decimal() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            const auto value = parseUnsignedDecimal(text);
            if (!value) return "not an unsigned decimal number";
            text = std::to_string(*value);
            return {};
        },
        "", "decimal");
}

// Refuses the values `why` gives a reason for; the usage error adds the reason.
CLI::Validator refusing(ParseNotes& notes,
                        std::function<std::optional<std::string>(const std::string&)> why) {
    return CLI::Validator(
        [&notes, why = std::move(why)](std::string& text) -> std::string {
            const std::optional<std::string> reason = why(text);
            if (!reason) return {};
            notes.reason = *reason;
            return *reason;
        },
        "");
}

// A path option's value: blanks alone name nothing (trimmed, as the option
// stores it, it would be empty).
CLI::Validator notBlank(ParseNotes& notes, const char* names) {
    return refusing(notes, [names](const std::string& text) -> std::optional<std::string> {
        if (!trimWhiteSpace(text).empty()) return std::nullopt;
        return std::string("it names no ") + names;
    });
}

// A number (after decimal(), so plain digits) of at most `most`; above it,
// `why` followed by `most`.
CLI::Validator atMost(ParseNotes& notes, std::uint32_t most, const std::string& why,
                      const std::string& after = "") {
    std::string reason = why;
    reason.append(std::to_string(most)).append(after);
    return refusing(notes, [most, reason](const std::string& text) -> std::optional<std::string> {
        const auto value = parseUnsignedDecimal(text);
        if (value && *value <= most) return std::nullopt;
        return reason;
    });
}

// Adds the option's checks, applied to its last value only (the one that
// wins), after a first step that notes which value is being checked, so a
// refusal can name it. The help shows valueName alone, not each check again.
CLI::Option* checked(CLI::Option* option, const std::string& valueName, ParseNotes& notes,
                     std::vector<CLI::Validator> checks) {
    option->type_name(valueName);
    // Each goes in front, so they run in the given order; the decimal check
    // hands its plain form on.
    for (auto check = checks.rbegin(); check != checks.rend(); ++check) {
        option->transform(check->description("").application_index(0));
    }
    const std::string named = option->get_name() + " " + valueName;
    option->transform(CLI::Validator(
                          [&notes, named](std::string& text) {
                              notes.rejectedOption = named;
                              notes.rejectedValue = text;
                              notes.reason.clear();
                              return std::string();
                          },
                          "")
                          .application_index(0));
    return option;
}

std::string withDefault(const std::string& meaning, bool on) {
    return meaning + " (default: " + (on ? "on" : "off") + ")";
}

void declareExtraOptions(CLI::App& app, PackRequest& request, ParseNotes& notes);

// Reads --settings: the 28 fields, then the options its extension block sets.
// Sizes saved with fit set were the maximum it may choose, so they count as
// given. A block that cannot be read, or an entry refused, is a warning: the
// file still gives its fields.
void loadSettings(PackRequest& request, const std::string& path) {
    SettingsExtensions extensions;
    loadSettingsFile(request.jobSpec.settings, path, &extensions);
    if (!extensions.problem.empty()) {
        request.warnings.push_back(extensions.problem +
                                   "; its options beyond the dialog's are "
                                   "left at their defaults");
    }
    for (const std::string& problem : applyExtensionEntries(extensions.entries, request.jobSpec)) {
        request.warnings.push_back("ignored " + problem);
    }
    if (request.jobSpec.sizing.fit) {
        request.jobSpec.sizing.widthGiven = true;
        request.jobSpec.sizing.heightGiven = true;
    }
}

// Declares every option on app. Each takes effect when the whole line has
// parsed, in this order; --settings comes first so the others override it.
void declareOptions(CLI::App& app, PackRequest& request, ParseNotes& notes) {
    JobSettings& s = request.jobSpec.settings;
    const JobSettings defaults = s;
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);

    const auto text = [&](const char* name, const char* valueName, const char* meaning,
                          std::function<void(const std::string&)> store,
                          std::vector<CLI::Validator> checks = {}) {
        return checked(app.add_option_function<std::string>(name, std::move(store), meaning),
                       valueName, notes, std::move(checks));
    };
    const auto number = [&](const char* name, std::uint32_t& field, const char* meaning) {
        checked(app.add_option(name, field, meaning), "N", notes, {decimal()})
            ->default_str(std::to_string(field));
    };
    const auto index = [&](const char* name, std::int32_t& field, std::uint32_t hi,
                           const char* meaning) {
        checked(app.add_option(name, field, meaning), "0.." + std::to_string(hi), notes,
                {decimal(), CLI::Range(0u, hi)})
            ->default_str(std::to_string(field));
    };

    text("--settings", "FILE",
         "Read the settings from FILE (the settings-file format, a non-empty regular file) "
         "before the other options.",
         [&request, &notes](const std::string& path) {
             request.settingsFile = path;
             notes.settingsProblem = settingsFileProblem(path);
             if (!notes.settingsProblem) loadSettings(request, path);
         })
        ->default_str("none");
    text("--input", "DIR", "Folder whose images are packed.",
         [&s](const std::string& v) { s.inputFolder = ensureTrailingSlash(trimWhiteSpace(v)); },
         {notBlank(notes, "folder")})
        ->default_str(defaults.inputFolder);
    text("--image", "FILE",
         "Atlas image file; its extension (.tif .png .jpg .bmp .rgb .tga) picks the format.",
         [&s](const std::string& v) { s.outputImageFile = trimWhiteSpace(v); },
         {notBlank(notes, "file")})
        ->default_str(defaults.outputImageFile);
    text("--text", "FILE",
         "Source-rect text file; .xml, .json and .css pick those formats, anything else plain "
         "text.",
         [&s](const std::string& v) { s.outputTextFile = trimWhiteSpace(v); },
         {notBlank(notes, "file")})
        ->default_str(defaults.outputTextFile);
    number("--width", s.outputWidth, "Atlas width in pixels.");
    number("--height", s.outputHeight, "Atlas height in pixels.");
    number("--border", s.borderSize, "Empty margin kept along the four edges of the atlas.");
    number("--spacing", s.spacing, "Gap kept to the right of and below each image.");
    number("--grid-x", s.gridAlignX,
           "Align horizontal positions and extents to multiples of N (2 or more).");
    number("--grid-y", s.gridAlignY,
           "Align vertical positions and extents to multiples of N (2 or more).");
    index("--rect-style", s.textFormat, 4,
          "Rectangle style of the text file: 0 x y width height, 1 x, y, width, height, "
          "2 left top right bottom, 3 left, top, right, bottom, 4 {u1, v1, u2, v2}.");
    text("--prefix", "S", "Text written before each entry name.", [&s](const std::string& v) {
        s.namePrefix = v;
    })->default_str("\"" + defaults.namePrefix + "\"");
    text("--postfix", "S", "Text written after each entry name.", [&s](const std::string& v) {
        s.namePostfix = v;
    })->default_str("\"" + defaults.namePostfix + "\"");
    checked(app.add_option_function<std::uint32_t>(
                "--tab-size",
                [&s](std::uint32_t n) {
                    s.convertTabs = 1;
                    s.tabSize = n;
                },
                "Indent JSON, XML and CSS with N spaces per level instead of a tab."),
            "N", notes,
            {decimal(),
             atMost(notes, kMaxTabSize, "the text writers indent at most ", " spaces a level")})
        ->default_str("tabs");
    index("--case", s.changeCase, 3,
          "Case of the entry names: 0 as they are, 1 upper case, 2 lower case, 3 names upper "
          "case but prefix and postfix as typed.");
    text("--css-url-prefix", "S", "Text placed before the image file name in the CSS url.",
         [&s](const std::string& v) { s.cssUrlPrefix = v; })
        ->default_str("\"" + defaults.cssUrlPrefix + "\"");
    index("--crop", s.cropMode, 2,
          "Trim transparent margins: 0 no, 1 yes, 2 crop all to the same dimension (all images "
          "must have one size).");
    checked(app.add_option("--crop-alpha", s.cropAlpha,
                           "Pixels with this alpha or less count as empty when trimming (0..255)."),
            "N", notes, {decimal(), atMost(notes, 255, "an alpha is at most ")})
        ->default_str(std::to_string(s.cropAlpha));
    CLI::Option* mask = app.add_flag_callback(
        "--mask", [&s] { s.createMask = 1; },
        withDefault("Also write a mask image (\"_mask\" before the extension).",
                    defaults.createMask != 0));
    CLI::Option* noMask = app.add_flag_callback(
        "--no-mask", [&s] { s.createMask = 0; },
        withDefault("Do not write a mask image.", defaults.createMask == 0));
    mask->excludes(noMask);
    std::string sortNames;
    for (const std::string_view name : kSortNames) {
        sortNames += (sortNames.empty() ? "" : "|") + std::string(name);
    }
    const auto sortDefault = static_cast<std::size_t>(defaults.sortOrder);
    checked(app.add_option_function<std::string>(
                "--sort",
                [&s](const std::string& v) {
                    for (std::size_t i = 0; i < kSortNames.size(); ++i) {
                        if (v == kSortNames[i]) s.sortOrder = static_cast<std::int32_t>(i);
                    }
                },
                "Order of placement: by name, largest trimmed area first, or at random from "
                "--seed."),
            sortNames, notes,
            {CLI::IsMember(std::vector<std::string>(kSortNames.begin(), kSortNames.end()))})
        ->default_str(std::string(kSortNames[sortDefault < kSortNames.size() ? sortDefault : 1]));
    number("--seed", s.randomSeed, "Seed of the random order.");
    index("--jpeg-quality", s.jpegQuality, 100, "Quality of JPEG output, 0..100.");
    checked(app.add_option("--tiff-compression", s.tiffCompression,
                           "Compression of TIFF output: 0 none, 9 PackBits, 13 Deflate."),
            "0|9|13", notes, {decimal(), CLI::IsMember(std::vector<int>{0, 9, 13})})
        ->default_str(std::to_string(defaults.tiffCompression));
    number("--memory-budget", request.memoryBudgetMiB,
           "MiB of decoded pixels the scan may keep for drawing; files beyond it are decoded "
           "again when drawn (0: all of them).");
    text("--save-settings", "FILE",
         "Write the resulting settings to FILE, then build; nothing is built when FILE cannot "
         "be written.",
         [&request](const std::string& v) { request.jobSpec.saveSettingsFile = v; })
        ->default_str("none");
    declareExtraOptions(app, request, notes);
    text("--jobs", "FILE",
         "Build every atlas of FILE in one run, several at once: a JSON object with "
         "\"atlases\", a list of objects whose keys are these options' names without the "
         "dashes (and \"name\"), and \"defaults\" shared by them. Beside it only "
         "--memory-budget (shared by the atlases at work) and --quiet; the exit status is the "
         "worst of the atlases'.",
         [&request](const std::string& v) { request.jobsFile = v; }, {notBlank(notes, "file")})
        ->default_str("none");
    app.add_flag_callback(
        "--quiet", [&request] { request.quiet = true; }, withDefault("Show no progress.", false));
    app.add_flag_callback(
        "--timings", [&request] { request.timings = true; },
        withDefault("Print the time spent scanning, placing, drawing and saving, and how much of "
                    "each atlas the images occupy.",
                    false));
    app.add_flag_callback(
        "--help", [&request] { request.help = true; }, "Show this help and exit.");
    app.add_flag_callback(
        "--version", [&request] { request.version = true; }, "Show the version and exit.");
}

// The options that go beyond the dialog's settings; none of them given, every
// output is the dialog's.
void declareExtraOptions(CLI::App& app, PackRequest& request, ParseNotes& notes) {
    // One option per row of the table the settings file and the dialog share.
    for (const ExtensionOption& row : extensionOptions()) {
        const std::string name = "--" + row.key;
        if (row.repeatable) {
            // Every value counts, so each is checked here rather than as the
            // last one; they are read joined, as the settings file keeps them.
            app.add_option_function<std::vector<std::string>>(
                   name,
                   [&request, &row, &notes, name](const std::vector<std::string>& values) {
                       std::string joined;
                       for (const std::string& value : values) {
                           notes.rejectedOption = name + " " + row.valueName;
                           notes.rejectedValue = value;
                           JobSpec scratch;
                           if (const auto why = row.read(value, scratch)) {
                               notes.reason = *why;
                               throw CLI::ValidationError(name, *why);
                           }
                           joined += (joined.empty() ? "" : ",") + value;
                       }
                       notes.rejectedValue = joined;
                       if (const auto why = row.read(joined, request.jobSpec)) {
                           notes.reason = *why;
                           throw CLI::ValidationError(name, *why);
                       }
                   },
                   row.meaning)
                ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
                ->type_name(row.valueName)
                ->default_str(row.defaultText);
            continue;
        }
        if (row.kind == OptionKind::flag) {
            app.add_flag_callback(
                name, [&request, &row] { row.read("1", request.jobSpec); },
                withDefault(row.meaning, false));
            continue;
        }
        std::vector<CLI::Validator> checks;
        if (row.kind == OptionKind::number) {
            checks = {decimal(), CLI::Range(row.least, row.most)};
        } else if (row.kind == OptionKind::choice) {
            std::vector<std::string> values;
            for (const OptionChoice& choice : row.choices) {
                if (!choice.value.empty()) values.push_back(choice.value);
            }
            checks = {CLI::IsMember(values)};
        } else {
            checks = {refusing(notes, [&row](const std::string& text) {
                JobSpec scratch;
                return row.read(text, scratch);
            })};
        }
        checked(app.add_option_function<std::string>(
                    name, [&request, &row](const std::string& v) { row.read(v, request.jobSpec); },
                    row.meaning),
                row.valueName, notes, std::move(checks))
            ->default_str(row.defaultText);
    }
    app.add_flag_callback(
        "--watch", [&request] { request.watch = true; },
        withDefault("After the build, watch the input folder (the tree with --recursive) and "
                    "build again whenever its images change, until interrupted.",
                    false));
    app.add_flag_callback(
        "--strict", [&request] { request.strict = true; },
        withDefault("Warn when two images get one name (as --format, --recursive and --verbose "
                    "do) and exit with status 1 if one did.",
                    false));
    app.add_flag_callback(
        "--verbose", [&request] { request.verbose = true; },
        withDefault("Also list the files and folders skipped and the images stored as aliases.",
                    false));
}

void describe(CLI::App& app) {
    app.name("tilvane-pack");
    app.set_help_flag();
    app.description(
        "Packs the images of a folder into one atlas image and writes a text file that says\n"
        "where each image lies (plain text, JSON, XML or CSS).\n\n"
        "Example:\n"
        "  tilvane-pack --input sprites/ --image out/atlas.png --text out/atlas.json \\\n"
        "               --fit any --crop 1 --sort size");
    app.footer(
        "Exit status: 0 done; 1 done, some files failed; 2 usage error or settings refused;\n"
        "3 a file could not be saved (the image, the mask, the text file, --save-settings or\n"
        "--depfile);\n"
        "4 no files found or none usable.");
    app.get_formatter()->column_width(40);
}

// The settings the options and --settings made, checked as a whole: what the
// build would only find out after scanning, or after writing some of its
// files, or never (a settings file saved cut short).
std::optional<std::string> refusalBeforeWork(const PackRequest& request) {
    const JobSettings& s = request.jobSpec.settings;
    if (request.jobSpec.sizing.active()) {
        if (auto why = fitLimitsRefusal(fitLimitsOf(request.jobSpec))) return why;
    }
    if (!request.jobSpec.sizing.fit) {
        if (auto why = formatSizeRefusal(s.outputImageFile, s.outputWidth, s.outputHeight)) {
            return why;
        }
    }
    if (!request.jobSpec.saveSettingsFile.empty()) {
        if (const auto why = fieldTooLong(s)) return std::string("--save-settings: ").append(*why);
        if (const auto why = extensionBlockProblem(extensionEntriesOf(request.jobSpec))) {
            return std::string("--save-settings: ").append(*why);
        }
    }
    if (const auto why = packingRefusal(request.jobSpec)) return "--rotate: " + *why;
    return scaleVariantsRefusal(request.jobSpec.extras);
}

}  // namespace

std::optional<std::string> parsePackArguments(const std::vector<std::string>& args,
                                              PackRequest& request) {
    CLI::App app;
    describe(app);
    ParseNotes notes;
    declareOptions(app, request, notes);
    // CLI11 takes the arguments last one first.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::ValidationError&) {
        std::string refused = "invalid value \"";
        refused.append(notes.rejectedValue).append("\" for ").append(notes.rejectedOption);
        if (!notes.reason.empty()) refused.append(": ").append(notes.reason);
        return refused;
    } catch (const CLI::ParseError& error) {
        return std::string(error.what());
    }
    SizingSpec& sizing = request.jobSpec.sizing;
    sizing.widthGiven = sizing.widthGiven || app.count("--width") > 0;
    sizing.heightGiven = sizing.heightGiven || app.count("--height") > 0;
    if (!sizing.fit && (app.count("--min-width") > 0 || app.count("--min-height") > 0)) {
        return std::string("--min-width and --min-height need --fit");
    }
    if (notes.settingsProblem || request.help || request.version) return notes.settingsProblem;
    return refusalBeforeWork(request);
}

namespace {

// Every option declared over a request of the defaults, for the texts made
// from the table rather than for parsing.
struct DeclaredOptions {
    CLI::App app;
    PackRequest request;
    ParseNotes notes;

    DeclaredOptions() {
        describe(app);
        request.jobSpec.settings = defaultJobSettings();
        declareOptions(app, request, notes);
    }
};

}  // namespace

std::string packHelpText() {
    DeclaredOptions declared;
    std::string text = declared.app.help();
    if (!text.empty() && text.back() != '\n') text += '\n';
    return text;
}

PackOptionTable packOptionTable() {
    DeclaredOptions declared;
    const CLI::App& app = declared.app;
    PackOptionTable table{app.get_description(), {}, app.get_footer()};
    for (const CLI::Option* option : app.get_options()) {
        const bool flag = option->get_expected_min() == 0;
        table.options.push_back({option->get_name(), flag ? "" : option->get_type_name(),
                                 option->get_description(), option->get_default_str()});
    }
    return table;
}

}  // namespace tilvane
