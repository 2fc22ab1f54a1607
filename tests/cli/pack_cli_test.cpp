#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "cli/option_table.h"
#include "tests/cli/cli_support.h"

namespace tilvane::testing {
namespace {

namespace fs = std::filesystem;

// The parts of text between '|'; none for an empty text.
std::vector<std::string> split(const std::string& text) {
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, '|');) parts.push_back(part);
    return parts;
}

// The names in the folder, sorted, between '|'.
std::string namesIn(const fs::path& folder) {
    std::string names;
    for (const auto& [path, bytes] : folderSnapshot(folder))
        names.append(names.empty() ? "" : "|").append(fs::path(path).filename().string());
    return names;
}

// An input and an output folder, and arguments naming them.
struct Folders {
    TempDir input, output;

    // Writes input files "name:WxH" (a sprite) or "name:bytes".
    void write(const std::string& files) const {
        for (const std::string& file : split(files)) {
            const std::size_t colon = file.rfind(':');
            const std::string path = input.file(file.substr(0, colon));
            fs::create_directories(fs::path(path).parent_path());
            int w = 0, h = 0;
            if (std::sscanf(file.c_str() + colon + 1, "%dx%d", &w, &h) == 2)
                writeSprite(path, w, h, 1);
            else
                writeFile(path, file.substr(colon + 1));
        }
    }
    // text with {in} and {out} (the folders without a separator) and {in-name}
    // (the input folder's own name) replaced.
    std::string expand(std::string text) const {
        const std::pair<std::string, std::string> tokens[] = {
            {"{in}", input.path().string()},
            {"{out}", output.path().string()},
            {"{in-name}", input.path().filename().string()}};
        for (const auto& [token, value] : tokens)
            for (std::size_t at; (at = text.find(token)) != std::string::npos;)
                text.replace(at, token.size(), value);
        return text;
    }
    // tilvane-pack with arguments that name the folders, then more.
    std::vector<std::string> args(const std::string& more = "") const {
        return split(
            expand("tilvane-pack|--input|{in}/|--image|{out}/atlas.png|--text|"
                   "{out}/atlas.json|--width|64|--height|64|--sort|name|" +
                   more));
    }
};

// One run per row on fresh folders: files to put in the input folder, the
// arguments after the usual ones, the exit status, stderr (checked for a usage
// error's shape when null), the output folder's names afterwards and stdout.
// blocked names an output made a link into a missing folder, so saving it
// fails (root would ignore permissions) and stderr ends with why; folder is the working folder;
// before holds the arguments of an earlier run into the same folders. Names and paths may hold
// {in}, {out} and {in-name}; lists are split at '|'. The input folder is never changed.
TEST(PackCli, RunsExitWithTheirStatusMessagesAndFiles) {
    struct Case {
        const char* name;
        std::string files, args;
        int status;
        std::optional<std::string> err;
        const char* written = "";
        const char* out = "";
        const char* blocked = "";
        const char* folder = "";
        const char* before = "";
    };
    const std::string sprites = "s1.png:8x8|s3.png:8x8|s4.png:8x8";
    std::string many = "s0.png:3x3";
    for (int i = 1; i < 197; ++i) many += "|s" + std::to_string(i) + ".png:3x3";
    const std::string earlier =
        " (its page's text file does not name its image), which looks like a page of an earlier "
        "run\n";
    const std::string kept =
        "tilvane-pack: 1 page: 128x128\ntilvane-pack: note: left {out}/atlas-2.png" + earlier +
        "tilvane-pack: note: left {out}/atlas-2.txt" + earlier;
    // Failures are listed in the dialog's sorted order, not the order they
    // happened in (z fails while scanning, B while placing).
    const std::string failing = "z.png:broken|B.png:100x10|c.png:8x8|d.png:8x8";
    const char* const failed =
        "Failed to load/add the following files:\n"
        "B.png          (no space left on output image)\n"
        "z.png          (failed to load)\n"
        "Total images added: 2\nTotal images failed: 2\nGrand total: 4\n";
    const std::string inFolder = "The Output Image File must not be in the Input Folder.\n";
    // Two names that the name rules make one, one not UTF-8, a sub-folder and
    // a file that is no image.
    const std::string named =
        "x-1.png:3x3|x_1.png:3x3|bad\xFF.png:3x3|sub/y.png:3x3|sub_y.png:3x3|"
        "notes.txt:not an image";
    const std::string collision =
        "tilvane-pack: warning: x-1.png and x_1.png both get the name \"x_1\"\n";
    const std::string notUtf8 =
        "tilvane-pack: warning: bad\xFF.png is not valid UTF-8; each "
        "invalid byte is written as U+FFFD\n";
    const std::string strict = "tilvane-pack: --strict: 1 warning, so the run fails\n";
    const std::string skipped =
        "tilvane-pack: skipped notes.txt (not a supported image extension)\n"
        "tilvane-pack: skipped sub/ (folder not searched)\n" +
        collision;
    const char* const written = "atlas.json|atlas.png|atlas_mask.png";
    // The help printed shows the defaults and examples.
    const std::string help = packHelpText();
    for (const char* shown : {"--width N=512", "Atlas width in pixels.", "Exit status: 0 done",
                              "--fit any|pot|square|pot-square", "--pages", "--min-width N=1",
                              "  tilvane-pack --input sprites/", "--fit any --crop 1"})
        EXPECT_NE(help.find(shown), std::string::npos) << shown;
    const auto usage = [](const std::string& what) {
        return "tilvane-pack: " + what + "\nRun 'tilvane-pack --help' for the options.\n";
    };
    const std::string longPrefix = "--save-settings|{out}/s.cfg|--prefix|" + std::string(3000, 'p');
    const std::vector<Case> cases = {
        // Help and version, whatever else is given.
        {"help", "", "--help", 0, "", "", help.c_str()},
        {"version", "", "--version", 0, "", "", "tilvane-pack " TILVANE_VERSION "\n"},
        // Usage errors.
        {"letters for a number", "", "--width|abc", 2, {}},
        {"negative number", "", "--border|-5", 2, {}},
        {"unknown sort", "", "--sort|date", 2, {}},
        {"unknown compression", "", "--tiff-compression|5", 2, {}},
        {"quality above 100", "", "--jpeg-quality|101", 2, {}},
        {"unknown option", "", "--bogus", 2, {}},
        {"positional argument", "", "folder", 2, {}},
        {"missing value", "", "--width", 2, {}},
        {"mask and no mask", "", "--mask|--no-mask", 2, {}},
        {"unknown fit", "", "--fit|round", 2, {}},
        {"webp quality past 100", "", "--webp-quality|101", 2, {}},
        {"minimum without fit", "", "--min-width|5", 2, {}},
        {"minimum above the maximum", "", "--fit|any|--width|500|--min-width|600", 2, {}},
        {"missing settings file", "", "--settings|/nonexistent/tilvane.cfg", 2, {}},
        // The loader would silently keep the defaults for these two.
        {"settings file is a folder", "", "--settings|{out}/", 2, {}},
        {"settings file is empty", "empty.cfg:", "--settings|{in}/empty.cfg", 2, {}},
        // Refused before any work, though the build would get far (or all the
        // way) with them.
        {"blank input", sprites, "--input| ", 2,
         usage("invalid value \" \" for --input DIR: it names no folder")},
        {"empty image", sprites, "--image||--quiet", 2,
         usage("invalid value \"\" for --image FILE: it names no file")},
        {"blank text", sprites, "--text|\t", 2,
         usage("invalid value \"\\t\" for --text FILE: it names no file")},
        {"blank layout file", sprites, "--keep-layout| ", 2,
         usage("invalid value \" \" for --keep-layout FILE: it names no file")},
        {"tab size beyond the writers", sprites, "--tab-size|65537", 2,
         usage("invalid value \"65537\" for --tab-size N: the text writers indent at most 65536 "
               "spaces a level")},
        {"alpha above 255", sprites, "--crop-alpha|256", 2,
         usage("invalid value \"256\" for --crop-alpha N: an alpha is at most 255")},
        {"settings text the file would cut", sprites, longPrefix, 2,
         usage("--save-settings: the name prefix is 3000 bytes; the settings file holds at most "
               "2047")},
        {"minimum above the maximum, settings not saved", sprites,
         "--fit|any|--min-width|65|--save-settings|{out}/s.cfg", 2,
         usage("no atlas size between 65x1 and 64x64: the minimum width is above the maximum")},
        {"no power of two within the limits", sprites, "--fit|pot|--min-width|100|--width|120", 2,
         usage("no atlas size between 100x1 and 120x64 has power-of-two sides: no power of two "
               "lies between the widths 100 and 120")},
        {"no square within the limits", sprites, "--fit|square|--min-width|65|--width|100", 2,
         usage("no atlas size between 65x1 and 100x64 is square: no side lies both between the "
               "widths 65 and 100 and between the heights 1 and 64")},
        {"jpeg wider than it stores", sprites, "--image|{out}/atlas.jpg|--width|65536", 2,
         usage("JPEG stores at most 65500 pixels a side; the atlas would be 65536x64")},
        // Builds that stop before placing anything, with the message on one
        // line. A name with line breaks and an escape sequence stays one visible
        // line of the report and cannot forge the totals.
        {"gif atlas", "", "--image|{out}/atlas.gif", 2, "Unsupported Output Image File format.\n"},
        {"zero width", "", "--width|0", 2,
         "Failed to create the output image. The Output Width and Output Height must be at "
         "least 1.\n"},
        {"missing input", "", "--input|/nonexistent/in", 2,
         "Failed to find the Input Folder, or the folder is empty.\n"},
        {"sizes differ under crop all to same dimension", "a.png:8x8|b.png:8x4", "--crop|2", 2,
         "The images must all have the same dimensions in order to use the following crop "
         "setting: - Crop all to same dimension\n"},
        {"no files", "readme.txt:not an image", "", 4, "No files found.\n"},
        {"nothing loadable", "b.png:x|A.png:x|evil\nTotal images added: 999\n\x1b[31m.png:x", "", 4,
         "Failed to load/add the following files:\n"
         "A.png          (failed to load)\n"
         "b.png          (failed to load)\n"
         "evil\\nTotal images added: 999\\n\\x1b[31m.png          (failed to load)\n"
         "Total images added: 0\nTotal images failed: 3\nGrand total: 3\n"},
        // Outputs that would replace each other or an input, however spelt.
        {"settings file is an input image", sprites, "--save-settings|{in}/s4.png", 2,
         "tilvane-pack: The settings file {in}/s4.png must not be an image of the Input Folder "
         "{in}/s4.png\nRun 'tilvane-pack --help' for the options.\n"},
        {"settings file is the image", sprites, "--save-settings|{out}/atlas.png", 2,
         "tilvane-pack: The settings file {out}/atlas.png must not be the same file as the "
         "Output Image File {out}/atlas.png\nRun 'tilvane-pack --help' for the options.\n"},
        {"text is an input image", sprites, "--text|{in}/s3.png", 2,
         "The Output Text File {in}/s3.png must not be an image of the Input Folder "
         "{in}/s3.png\n"},
        {"image beside the sprites, relative", sprites,
         "--input|{in-name}|--image|./{in-name}/s1.png", 2, inFolder, "", "", "", "{in}/.."},
        {"working folder is the input folder", sprites, "--input|.|--image|atlas.png", 2, inFolder,
         "", "", "", "{in}"},
        // Builds that place.
        {"some failures", failing, "--no-mask", 1, failed, "atlas.json|atlas.png"},
        {"paths are trimmed and the folder gets its separator", "a.png:8x8",
         "--input|  {in} |--image| {out}/atlas.tga\t|--text|{out}/rects.txt|--quiet", 0, "",
         "atlas.tga|atlas_mask.tga|rects.txt", "Total images added: 1\n"},
        {"jpeg needs no prompt", "a.png:8x8", "--image|{out}/atlas.jpg|--jpeg-quality|40", 0, "",
         "atlas.jpg|atlas.json|atlas_mask.jpg", "Total images added: 1\n"},
        // Names that collide are warned of whatever the format: --strict makes
        // them fail the run, --verbose adds what was left out; hash keys keep
        // the colliding names apart.
        {"strict", named, "--strict", 1, collision + strict, written, "Total images added: 4\n"},
        {"verbose", named, "--verbose", 0, skipped, written, "Total images added: 4\n"},
        {"hash keys keep the names apart", named, "--format|hash", 0, notUtf8, written,
         "Total images added: 4\n"},
        {"recursive array, strict", named, "--recursive|--format|array|--strict", 1,
         notUtf8 + strict, written, "Total images added: 5\n"},
        {"recursive, atlas in a sub-folder", named, "--recursive|--image|{in}/sub/a.png", 2,
         "The Output Image File must not be in a sub-folder of the Input Folder when sub-folders "
         "are packed too.\n"},
        // Every page's outputs are checked before the first is drawn.
        {"a device cannot take a page number", "a.png:40x40|b.png:40x40",
         "--text|/dev/null|--pages", 2,
         "tilvane-pack: 2 pages: 64x64, 64x64\n"
         "Pages cannot be named after /dev/null, which is not a regular file.\n"},
        // 197 files are the fewest with which seed 3 runs out of draws.
        {"random order runs out of draws", many, "--sort|random|--seed|3|--width|256|--height|256",
         0,
         "tilvane-pack: note: the random order ran out of draws, so the files are placed in "
         "name order (another --seed may complete it)\n",
         "atlas.json|atlas.png|atlas_mask.png", "Total images added: 197\n"},
        // Options combine: sizing takes the ring into account, keeps the shape,
        // and makes no large atlas to leave empty (that aliases take no room or
        // page is the property test's alias-takes-no-room).
        {"fit holds the extrusion ring", "a.png:10x10|b.png:12x12|c.png:14x14",
         "--fit|any|--extrude|2|--crop|1", 0, "tilvane-pack: atlas size 19x47\n",
         "atlas.json|atlas.png|atlas_mask.png", "Total images added: 3\n"},
        {"fit keeps the square in a wide maximum", "a.png:16x8|b.png:16x8|c.png:16x8",
         "--fit|square|--width|1000|--height|20", 1,
         "tilvane-pack: note: no atlas size up to 1000x20 holds every image, so the largest of the "
         "shape, 20x20, is used\ntilvane-pack: atlas size 20x20\nFailed to load/add the following "
         "files:\nc.png          (no space left on output image)\nTotal images added: 2\n"
         "Total images failed: 1\nGrand total: 3\n",
         "atlas.json|atlas.png|atlas_mask.png"},
        {"fit keeps to the minimum size", "a.png:8x8",
         "--fit|any|--min-width|150|--min-height|40|--width|200|--height|100", 0,
         "tilvane-pack: atlas size 150x40\n", written, "Total images added: 1\n"},
        // Four large sprites take a page, the small one waits for the last; one
        // wider than any page fails without stopping them.
        {"pages filled in turn",
         "a.png:120x120|b.png:120x120|c.png:120x120|d.png:120x120|"
         "e.png:120x120|s.png:30x30|wide.png:300x10",
         "--pages|--sort|size|--width|256|--height|256|--no-mask", 1,
         "tilvane-pack: 2 pages: 256x256, 256x256\nFailed to load/add the following "
         "files:\nwide.png          (no space left on output image)\nTotal images added: 6\n"
         "Total images failed: 1\nGrand total: 7\n",
         "atlas-1.json|atlas-1.png|atlas-2.json|atlas-2.png"},
        // A later run of fewer pages leaves none of the earlier run's behind
        // when its text files name their images (the JSON hash does); a plain
        // text file does not, so those pages stay, and the run says so.
        {"earlier pages removed", "a.png:40x40|b.png:40x40",
         "--format|hash|--pages|--no-mask|--width|128|--height|128", 0,
         "tilvane-pack: 1 page: 128x128\n", "atlas-1.json|atlas-1.png", "Total images added: 2\n",
         "", "", "--format|hash|--pages|--no-mask"},
        {"earlier pages kept", "a.png:40x40|b.png:40x40",
         "--text|{out}/atlas.txt|--pages|--no-mask|--width|128|--height|128", 0, kept,
         "atlas-1.png|atlas-1.txt|atlas-2.png|atlas-2.txt", "Total images added: 2\n", "", "",
         "--text|{out}/atlas.txt|--pages|--no-mask"},
        // A JPEG atlas cannot hold its sources' pixels (that --verify passes
        // over pages and rings is the property test's "verified").
        {"a jpeg atlas cannot be verified", sprites, "--verify|--image|{out}/atlas.jpg", 2,
         "A JPEG atlas cannot be verified: JPEG does not keep the pixels it is given.\n"},
        {"a lossy webp atlas cannot be verified", sprites,
         "--verify|--image|{out}/atlas.webp|--webp-quality|90", 2,
         "A lossy WebP atlas cannot be verified: it does not keep the pixels it is given.\n"},

        {"unknown png compression", "", "--png-compression|best", 2,
         usage("invalid value \"best\" for --png-compression fast|default|small")},
        // Scales and variants: each value checked, the variants as a set.
        {"scale as a fraction", sprites, "--scale|1/2", 2,
         usage("invalid value \"1/2\" for --scale S: a scale is a decimal number such as 0.5")},
        {"scale of zero", sprites, "--scale|0", 2,
         usage("invalid value \"0\" for --scale S: a scale is above 0 and at most 16")},
        {"variant without a scale", sprites, "--variant|@2x:1|--variant|@2x", 2,
         usage("invalid value \"@2x\" for --variant SUFFIX:S: a variant is a suffix, a colon "
               "and a scale such as 0.5")},
        {"variant scale above the largest", sprites, "--variant|@big:16.5|--variant|:1", 2,
         usage("invalid value \"@big:16.5\" for --variant SUFFIX:S: a scale is above 0 and at "
               "most 16")},
        {"suffix with a folder", sprites, "--variant|x/y:1", 2,
         usage("invalid value \"x/y:1\" for --variant SUFFIX:S: a suffix must not hold a "
               "\"/\": the files stay in the folders given")},
        {"suffix given twice", sprites, "--variant|@2x:1|--variant|@2x:0.5", 2,
         usage("invalid value \"@2x:1,@2x:0.5\" for --variant SUFFIX:S: the suffix \"@2x\" "
               "is given twice")},
        {"scale and variants", sprites, "--scale|0.5|--variant|@2x:1", 2,
         usage("--scale and --variant do not go together: each variant has its scale")},
        {"variants whose files meet", sprites, "--variant|:1|--variant|_mask:0.5", 2,
         usage("The Output Image File {out}/atlas_mask.png must not be the same file as the "
               "mask image {out}/atlas_mask.png")},
        // Each variant is sized and paged for its own images, its lines and
        // failures name its atlas, and every atlas's files land together.
        {"variants sized each", "a.png:8x8|b.png:8x8",
         "--fit|any|--crop|1|--variant|@2x:1|--variant|@1x:0.5", 0,
         "tilvane-pack: atlas@2x.png: atlas size 9x16\n"
         "tilvane-pack: atlas@1x.png: atlas size 7x12\n",
         "atlas@1x.json|atlas@1x.png|atlas@1x_mask.png|atlas@2x.json|atlas@2x.png|"
         "atlas@2x_mask.png",
         "Total images added: 4\n"},
        {"variants paged each", "a.png:40x40|b.png:40x40",
         "--pages|--no-mask|--variant|@2x:1|--variant|@1x:0.5", 0,
         "tilvane-pack: atlas@2x.png: 2 pages: 64x64, 64x64\n"
         "tilvane-pack: atlas@1x.png: 1 page: 64x64\n",
         "atlas@1x-1.json|atlas@1x-1.png|atlas@2x-1.json|atlas@2x-1.png|atlas@2x-2.json|"
         "atlas@2x-2.png",
         "Total images added: 4\n"},
        {"a variant's failure names its atlas", "a.png:8x8|B.png:100x10",
         "--no-mask|--variant|@2x:1|--variant|@1x:0.5", 1,
         "Failed to load/add the following files:\n"
         "B.png          (no space left on output image (atlas@2x.png))\n"
         "Total images added: 3\nTotal images failed: 1\nGrand total: 4\n",
         "atlas@1x.json|atlas@1x.png|atlas@2x.json|atlas@2x.png"},
        {"a variant not saved keeps every atlas out", "a.png:8x8",
         "--variant|@2x:1|--variant|@1x:0.5", 3, "Failed to save the source rects text file!\n",
         "atlas@1x.json", "", "atlas@1x.json"},
        {"fit makes no large atlas to leave empty", "big.png:40x40",
         "--fit|any|--width|20|--height|20", 1,
         "tilvane-pack: atlas size 1x1\nFailed to load/add the following files:\n"
         "big.png          (no space left on output image)\nTotal images added: 0\n"
         "Total images failed: 1\nGrand total: 1\n",
         "atlas.json|atlas.png|atlas_mask.png"},
        {"names that meet in a plain text file are warned of",
         "hero.walk.01.png:4x4|hero.walk.02.png:4x4", "--text|{out}/atlas.txt", 0,
         "tilvane-pack: warning: hero.walk.01.png and hero.walk.02.png both get the name "
         "\"hero\"\n",
         "atlas.png|atlas.txt|atlas_mask.png", "Total images added: 2\n"},
        // Saves that fail: the message says what failed, the next line (added
        // below) where and why. The outputs commit together: one that fails,
        // the settings file too, keeps the others out.
        {"text not saved", "a.png:8x8", "", 3, "Failed to save the source rects text file!\n",
         "atlas.json", "", "atlas.json"},
        {"mask not saved", "a.png:8x8", "", 3,
         "Failed to save the image!\nFailed to save the mask image!\n", "atlas_mask.png", "",
         "atlas_mask.png"},
        {"settings not saved", "a.png:8x8", "--save-settings|{out}/s.cfg", 3, "", "s.cfg", "",
         "s.cfg"},
        {"layout not saved", "a.png:8x8", "--keep-layout|{out}/L.json", 3, "", "L.json", "",
         "L.json"},
        // A layout file kept, one that no longer suits the options, one that
        // is no layout file (a settings file), and one that is a folder.
        {"layout kept", "a.png:8x8|b.png:8x8", "--keep-layout|{out}/L.json|--verbose", 0,
         "tilvane-pack: kept 2 images in place, placed 0 into free room\n",
         "L.json|atlas.json|atlas.png|atlas_mask.png", "Total images added: 2\n", "", "",
         "--keep-layout|{out}/L.json"},
        {"layout of another size", "a.png:8x8", "--keep-layout|{out}/L.json|--width|32", 0,
         "tilvane-pack: note: the atlas size or the page count no longer suits the options, so "
         "the whole atlas is repacked\n",
         "L.json|atlas.json|atlas.png|atlas_mask.png", "Total images added: 1\n", "", "",
         "--keep-layout|{out}/L.json"},
        {"layout file that is none", "a.png:8x8", "--keep-layout|{out}/L.json", 0,
         "tilvane-pack: warning: the layout file {out}/L.json cannot be used (it is not valid "
         "JSON), so the atlas is packed afresh\n",
         "L.json|atlas.json|atlas.png|atlas_mask.png", "Total images added: 1\n", "", "",
         "--save-settings|{out}/L.json"},
        {"layout file is a folder", "a.png:8x8", "--keep-layout|{out}", 2,
         "The layout file {out} is a folder.\n"},
        {"depfile not saved", "a.png:8x8", "--depfile|{out}/atlas.d", 3, "", "atlas.d", "",
         "atlas.d"},
        // The depfile is an output like the others, and names only what a
        // reader takes back as the same path.
        {"depfile is an input image", sprites, "--depfile|{in}/s4.png", 2,
         "The depfile {in}/s4.png must not be an image of the Input Folder {in}/s4.png\n"},
        {"depfile cannot name a sprite", "it's.png:8x8|a.png:8x8", "--depfile|{out}/atlas.d", 2,
         "The depfile {out}/atlas.d cannot name {in}/it's.png because it holds the character ': "
         "Make and Ninja would read another name.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Folders f;
        f.write(c.files);
        std::string expectedErr = c.err.value_or("");
        if (*c.blocked) {
            fs::create_symlink("missing/x", f.output.file(c.blocked));
            expectedErr +=
                "tilvane-pack: {out}/" + std::string(c.blocked) + ": No such file or directory\n";
        }
        if (*c.before) run(f.args(c.before));
        const auto inputBefore = folderSnapshot(f.input.path());
        const auto [status, out, err] = run(f.args(c.args), f.expand(c.folder));
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(out, c.out);
        if (c.err) {
            EXPECT_EQ(err, f.expand(expectedErr));
        } else {
            EXPECT_EQ(err.rfind("tilvane-pack: ", 0), 0u) << err;
            for (const std::string& arg : split(f.expand(c.args)))  // a path given is named
                EXPECT_TRUE(arg.find('/') == std::string::npos ||
                            err.find(arg) != std::string::npos)
                    << err;
        }
        EXPECT_EQ(namesIn(f.output.path()), c.written);
        EXPECT_EQ(folderSnapshot(f.input.path()), inputBefore);
    }
}

// The depfile of a run that wrote its outputs: the outputs in the order
// written, the images read in byte order (a failed one too), the folders
// searched but one that receives an output, and an empty rule for each.
TEST(PackCli, DepfileNamesEveryOutputAndEveryInput) {
    struct Case {
        const char* name;
        std::string files, args;
        int status;
        std::string depfile;
    };
    const std::vector<Case> cases = {
        {"one atlas", "b.png:8x8|a.png:8x8|notes.txt:x", "", 0,
         "{out}/atlas.png {out}/atlas_mask.png {out}/atlas.json: \\\n  {in}/a.png \\\n  "
         "{in}/b.png \\\n  {in}/\n\n{in}/a.png:\n\n{in}/b.png:\n\n{in}/:\n"},
        {"pages, a failure, the tree and the settings file",
         "a.png:40x40|b.png:40x40|z.png:broken|sub/c.png:8x8",
         "--pages|--recursive|--no-mask|--save-settings|{out}/s.cfg", 1,
         "{out}/atlas-1.png {out}/atlas-1.json {out}/s.cfg {out}/atlas-2.png {out}/atlas-2.json: "
         "\\\n  {in}/a.png \\\n  {in}/b.png \\\n  {in}/sub/c.png \\\n  {in}/z.png \\\n  "
         "{in}/ \\\n  {in}/sub/\n\n{in}/a.png:\n\n{in}/b.png:\n\n{in}/sub/c.png:\n\n"
         "{in}/z.png:\n\n{in}/:\n\n{in}/sub/:\n"},
        {"a text file among the sprites", "a.png:8x8", "--text|{in}/atlas.txt|--no-mask", 0,
         "{out}/atlas.png {in}/atlas.txt: \\\n  {in}/a.png\n\n{in}/a.png:\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Folders f;
        f.write(c.files);
        const auto [status, out, err] =
            run(f.args("--depfile|{out}/atlas.d" + (c.args.empty() ? "" : "|" + c.args)));
        EXPECT_EQ(status, c.status) << err;
        EXPECT_EQ(readFile(f.output.file("atlas.d")), f.expand(c.depfile));
    }
}

// --jobs builds what separate runs build; two atlases whose outputs meet are
// refused before any work; the worst exit status wins and every line names
// its atlas.
TEST(PackCli, JobsBuildEveryAtlasOfTheFile) {
    TempDir top;
    for (const char* folder : {"ui", "hud", "fx", "empty", "out", "alone"})
        fs::create_directories(top.path() / folder);
    for (const char* sprite : {"ui/a.png", "ui/b.png", "hud/c.png", "fx/d.png", "fx/e.png"})
        writeSprite(top.file(sprite), 9, 7, 1);
    writeFile(top.file("hud/broken.png"), "not a png");
    const auto atlas = [&top](const std::string& name, const std::string& more = "") {
        return "{\"name\": \"" + name + "\", \"input\": \"" + top.file(name) +
               "/\", \"image\": \"" + top.file("out/" + name + ".png") + "\", \"text\": \"" +
               top.file("out/" + name + ".json") + "\"" + more + "}";
    };
    const std::string defaults = R"("defaults": {"fit": "any", "format": "hash", "mask": false,
        "no-mask": true, "crop": 1}, )";
    // What the failing hud atlas prints; how a usage error ends.
    const std::string hud =
        "[hud] tilvane-pack: atlas size 10x8\n[hud] Failed to load/add the "
        "following files:\n[hud] broken.png          (failed to load)\n"
        "[hud] Total images added: 1\n[hud] Total images failed: 1\n"
        "[hud] Grand total: 2\n";
    const std::string usage = "\nRun 'tilvane-pack --help' for the options.\n";
    struct Case {
        const char* name;
        std::string jobs, more;
        int status;
        std::string err;
        const char* written = "";
    };
    const std::vector<Case> cases = {
        {"three atlases",
         "{" + defaults + "\"atlases\": [" + atlas("ui") + ", " + atlas("fx") + ", " +
             atlas("hud", ", \"depfile\": \"" + top.file("out/hud.d") + "\"") + "]}",
         "", 1,
         "[ui] tilvane-pack: atlas size 10x14\n[fx] tilvane-pack: atlas size 10x14\n" + hud +
             "tilvane-pack: --jobs: failed: hud (exit status 1)\n",
         "fx.json|fx.png|hud.d|hud.json|hud.png|ui.json|ui.png"},
        {"the worst status wins",
         "{" + defaults + "\"atlases\": [" + atlas("empty") + ", " + atlas("hud") + "]}", "", 4,
         "[empty] No files found.\n" + hud +
             "tilvane-pack: --jobs: failed: empty (exit status 4), hud (exit status 1)\n",
         "hud.json|hud.png"},
        {"outputs that meet",
         "{\"atlases\": [" + atlas("ui") + ", " +
             atlas("fx", ", \"text\": \"" + top.file("out/ui.json") + "\"") + "]}",
         "", 2,
         "tilvane-pack: The Output Text File of atlas fx " + top.file("out/ui.json") +
             " must not be the same file as the Output Text File of atlas ui " +
             top.file("out/ui.json") + usage},
        {"an output another atlas reads",
         "{\"atlases\": [" + atlas("ui") + ", " +
             atlas("fx", ", \"image\": \"" + top.file("ui/fx.png") + "\"") + "]}",
         "", 2,
         "tilvane-pack: The Output Image File of atlas fx " + top.file("ui/fx.png") +
             " must not be in the Input Folder of atlas ui " + top.file("ui") + "/" + usage},
        {"an option of one atlas beside --jobs", "{\"atlases\": [" + atlas("ui") + "]}",
         "|--quiet|--width|5", 2,
         "tilvane-pack: with --jobs, --width goes in the jobs file; only --memory-budget and "
         "--quiet are given beside it" +
             usage},
        {"an atlas's option checked as on the command line",
         "{\"atlases\": [" + atlas("ui", ", \"width\": \"wide\"") + "]}", "", 2,
         "tilvane-pack: jobs file {jobs}: atlas \"ui\": invalid value \"wide\" for --width N" +
             usage},
        {"no nested jobs", "{\"atlases\": [" + atlas("ui", ", \"jobs\": \"x.json\"") + "]}", "", 2,
         "tilvane-pack: jobs file {jobs}: atlas \"ui\": \"jobs\" is no option of one atlas" +
             usage},
        {"names differ", "{\"atlases\": [" + atlas("ui") + ", " + atlas("ui") + "]}", "", 2,
         "tilvane-pack: jobs file {jobs}: atlas \"ui\": another atlas has that name" + usage},
        {"not JSON", "{\"atlases\": [", "", 2,
         "tilvane-pack: jobs file {jobs}: not valid JSON" + usage},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(top.path() / "out");
        fs::create_directory(top.path() / "out");
        const std::string jobs = top.file("jobs.json");
        writeFile(jobs, c.jobs);
        std::vector<std::string> args = {"tilvane-pack", "--jobs", jobs};
        for (const std::string& more : split(c.more.empty() ? "" : c.more.substr(1)))
            args.push_back(more);
        const auto [status, out, err] = run(args);
        EXPECT_EQ(status, c.status);
        std::string want = c.err;
        for (std::size_t at; (at = want.find("{jobs}")) != std::string::npos;)
            want.replace(at, 6, jobs);
        EXPECT_EQ(err, want);
        EXPECT_EQ(namesIn(top.path() / "out"), c.written);
        // Each atlas built is what a run of its own builds, byte for byte.
        for (const std::string name : {"ui", "fx", "hud"}) {
            const std::string built = top.file("out/" + name), alone = top.file("alone/" + name);
            if (!fs::exists(built + ".png")) continue;
            run(split("tilvane-pack|--input|" + top.file(name) + "/|--image|" + alone +
                      ".png|--text|" + alone + ".json|--fit|any|--format|hash|--no-mask|--crop|1"));
            EXPECT_EQ(readFile(alone + ".png"), readFile(built + ".png")) << name;
            EXPECT_EQ(readFile(alone + ".json"), readFile(built + ".json")) << name;
        }
    }
}

TEST(PackCli, SavedSettingsAreReadBackAndOverridden) {
    Folders f;
    f.write("a.png:8x8");
    const std::string cfg = f.output.file("pack.cfg");
    // --save-settings writes and still builds.
    ASSERT_EQ(run(f.args("--width|40|--save-settings|" + cfg + "|--no-mask")).status, 0);
    fs::remove(f.output.file("atlas.png"));
    // A repeated option's last value wins, and only that one is checked.
    for (const char* more : {"", "--width|32|--width|256", "--width|x|--width|256"}) {
        SCOPED_TRACE(more);
        ASSERT_EQ(run(split("tilvane-pack|--settings|" + cfg + "|" + more)).status, 0);
        ImagePtr atlas = CreateBitmapFromFile(f.output.file("atlas.png"));
        ASSERT_TRUE(atlas);
        EXPECT_EQ(imageWidth(atlas.get()), *more ? 256 : 40);
        EXPECT_FALSE(fs::exists(f.output.file("atlas_mask.png")));
    }
    // The options beyond the dialog's ride in the file's extension block: the
    // file alone builds the same files; a block it cannot read is said, and
    // the fields still hold.
    ASSERT_EQ(run(f.args("--fit|any|--format|hash|--extrude|1|--save-settings|" + cfg)).status, 0);
    const std::string atlas = readFile(f.output.file("atlas.png"));
    const std::string data = readFile(f.output.file("atlas.json"));
    EXPECT_NE(data.find("\"frames\": {"), std::string::npos) << data;
    fs::remove(f.output.file("atlas.png"));
    fs::remove(f.output.file("atlas.json"));
    ASSERT_EQ(run(split("tilvane-pack|--settings|" + cfg)).status, 0);
    EXPECT_EQ(readFile(f.output.file("atlas.png")), atlas);
    EXPECT_EQ(readFile(f.output.file("atlas.json")), data);
    writeFile(cfg, readFile(cfg).substr(0, 20552) + "junk");
    const auto [status, out, err] = run(split("tilvane-pack|--settings|" + cfg));
    EXPECT_EQ(status, 0);
    EXPECT_NE(err.find(cfg + ": the bytes after the settings are not an extension block"),
              std::string::npos)
        << err;
    EXPECT_NE(readFile(f.output.file("atlas.json")), data);
}

// Each variant's files are, byte for byte, those of a run at its scale alone
// under the same names; at scale 1, those of a run without any scale.
TEST(PackCli, VariantsAreTheRunsOfTheirScales) {
    const std::string sprites = std::string(TILVANE_SOURCE_DIR) + "/examples/sprites/";
    const std::string common = "--format|hash|--fit|any|--crop|1|--alias|--sort|size|--extrude|1";
    // The example sprites into the folder's stem.png and stem.json.
    const auto packInto = [&](const TempDir& folder, const std::string& stem,
                              const std::string& more) {
        return run(split("tilvane-pack|--input|" + sprites + "|--image|" +
                         folder.file(stem + ".png") + "|--text|" + folder.file(stem + ".json") +
                         "|" + common + more));
    };
    TempDir together;
    const PackResult all =
        packInto(together, "atlas", "|--variant|@2x:1|--variant|@1x:0.5|--variant|@3x:1.5");
    ASSERT_EQ(all.status, 0) << all.err;
    for (const auto& [suffix, scale] : std::vector<std::pair<std::string, std::string>>{
             {"@2x", ""}, {"@1x", "|--scale|0.5"}, {"@3x", "|--scale|1.5"}}) {
        SCOPED_TRACE(suffix);
        TempDir alone;
        const std::string stem = "atlas" + suffix;
        const PackResult one = packInto(alone, stem, scale);
        ASSERT_EQ(one.status, 0) << one.err;
        for (const std::string& file : {stem + ".png", stem + "_mask.png", stem + ".json"})
            EXPECT_EQ(readFile(alone.file(file)), readFile(together.file(file))) << file;
        const std::string json = readFile(alone.file(stem + ".json"));
        const std::string meta = "\"scale\":\"" + (scale.empty() ? "1" : scale.substr(9)) + "\"";
        EXPECT_NE(json.find(meta), std::string::npos) << meta;
    }
}

// On a terminal the progress line is erased before the timings are printed,
// so they do not run on from the last status (elsewhere nothing but messages
// reaches stderr, as the table above shows). --fit adds its sizing phase,
// --verify its own; the occupancy follows: one 8 x 8 image's 9 x 9 footprint
// (its spacing) in the 11 x 11 atlas the fit finds (a border of 1 each side)
// occupies 81 of its 121 pixels.
TEST(PackCli, TimingsReportThePhasesOnALineOfTheirOwn) {
    Folders f;
    f.write("a.png:8x8");
    const std::vector<std::string> args = f.args("--timings|--fit|any|--verify");
    const auto [status, out, text] = pack({args.begin() + 1, args.end()}, true);
    EXPECT_EQ(status, 0);
    const std::size_t at = text.find("Timings: scanning ");
    ASSERT_NE(at, std::string::npos) << text;
    EXPECT_EQ(text.substr(at - 4, 4), "\r\x1b[K");
    for (const char* phase : {" sizing ", " placing ", " drawing ", " saving ", " verifying "})
        EXPECT_NE(text.find(phase, at), std::string::npos) << phase;
    EXPECT_NE(text.find("\nOccupancy: 66.9% (footprint area over atlas area)\n", at),
              std::string::npos)
        << text;
}

// The README's tilvane-pack block, run as printed in a fresh folder that
// holds a copy of the example sprites.
TEST(PackCli, ReadmeExampleWorksAsPrinted) {
    const std::string readme = readFile(std::string(TILVANE_SOURCE_DIR) + "/README.md");
    const std::size_t start = readme.find("```sh\n", readme.find("\n## tilvane-pack\n"));
    ASSERT_NE(start, std::string::npos);
    const std::size_t end = readme.find("```", start + 6);
    ASSERT_NE(end, std::string::npos);
    const std::string block = readme.substr(start + 6, end - start - 6);

    TempDir folder;
    fs::copy(fs::path(TILVANE_SOURCE_DIR) / "examples" / "sprites", folder.path() / "sprites");
    writeFile(folder.file("example.sh"), block);
    const auto [status, out, err] =
        run({"/bin/sh", "-e", folder.file("example.sh")}, folder.folder());
    EXPECT_EQ(status, 0) << err;
    EXPECT_EQ(out.rfind("Total images added: 14\n", 0), 0u) << out;
    EXPECT_TRUE(CreateBitmapFromFile(folder.file("out/atlas.png")));
    EXPECT_NE(readFile(folder.file("out/atlas.json")).find("grass_tile"), std::string::npos);
}

}  // namespace
}  // namespace tilvane::testing
