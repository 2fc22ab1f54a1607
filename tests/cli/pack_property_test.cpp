// Random folders packed by the built tilvane-pack with random combinations of
// the layout options, each result checked against what the options promise.
// The environment chooses the run: TILVANE_PROPERTY_SEED (the seed),
// TILVANE_PROPERTY_CASES (how many cases), TILVANE_PROPERTY_CASE (that case
// alone) and TILVANE_PROPERTY_KEEP (a folder that receives the input and
// outputs of every case that fails). Each case draws from its own generator,
// seeded by the seed and its number, so one case reruns alone as it ran.
#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <random>
#include <set>
#include <sstream>

#include "tests/cli/cli_support.h"

namespace tilvane::testing {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

constexpr std::uint32_t kDefaultSeed = 20240611;
// A few seconds in the dev tree; under 20 with both cores busy.
constexpr int kDefaultCases = 60;
// The largest atlas side --fit may choose when --width or --height is not given.
constexpr int kFitMaximum = 8192;
// The defaults of --border and --spacing.
constexpr int kDefaultBorder = 1;
constexpr int kDefaultSpacing = 1;

int environmentNumber(const char* name, int fallback) {
    const char* text = std::getenv(name);
    return text && *text ? std::atoi(text) : fallback;
}

// The outputs of page `page` (counted from 1) of a build asked to write
// stem.png and stem.json: with --pages every page is numbered, a single one
// too; without it the one atlas keeps the name.
std::string pageStem(const std::string& stem, bool pages, std::size_t page) {
    return pages ? stem + "-" + std::to_string(page) : stem;
}

// One case's draws.
class Dice {
public:
    Dice(std::uint32_t seed, std::uint32_t caseNumber) {
        std::seed_seq sequence{seed, caseNumber};
        engine_.seed(sequence);
    }
    int between(int lo, int hi) {
        return lo + static_cast<int>(engine_() % static_cast<std::uint32_t>(hi - lo + 1));
    }
    bool chance(int percent) { return between(1, 100) <= percent; }
    std::uint8_t byte() { return static_cast<std::uint8_t>(between(0, 255)); }

private:
    std::mt19937 engine_;
};

// ---- The folder ----------------------------------------------------------

struct Box {
    int x = 0, y = 0, w = 0, h = 0;
    friend bool operator==(const Box&, const Box&) = default;
};

std::string text(const Box& b) {
    return std::to_string(b.w) + "x" + std::to_string(b.h) + "+" + std::to_string(b.x) + "+" +
           std::to_string(b.y);
}

bool overlap(const Box& a, const Box& b) {
    return a.x < b.x + b.w && b.x < a.x + a.w && a.y < b.y + b.h && b.y < a.y + a.h;
}

Box grown(const Box& b, int ring) {
    return {b.x - ring, b.y - ring, b.w + 2 * ring, b.h + 2 * ring};
}

// An image file of the input folder as the test reads it back.
struct Sprite {
    std::string name;  // relative to the input folder, '/' between folders
    ImagePtr pixels;   // 32 bits
    int width() const { return imageWidth(pixels.get()); }
    int height() const { return imageHeight(pixels.get()); }
};

// The smallest box holding every pixel with alpha above 0; empty for none.
std::optional<Box> alphaTrim(const PixelImage& image) {
    int left = image.width(), top = image.height(), right = -1, bottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if ((getPixel(image, x, y) >> 24) == 0) continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    if (right < 0) return std::nullopt;
    return Box{left, top, right - left + 1, bottom - top + 1};
}

// The pixels of the box, row by row, as bytes to compare and to hash.
std::string pixelsOf(const PixelImage& image, const Box& box) {
    std::string bytes;
    for (int y = box.y; y < box.y + box.h; ++y) {
        for (int x = box.x; x < box.x + box.w; ++x) {
            const PixelValue p = getPixel(image, x, y);
            bytes.append(reinterpret_cast<const char*>(&p), sizeof p);
        }
    }
    return bytes;
}

// A w x h sprite: a block of random colours in random transparent margins,
// some of its pixels translucent and some holes (fully transparent, black);
// or, when `blank`, nothing at all.
ImagePtr drawSprite(Dice& dice, int w, int h, bool blank) {
    ImagePtr image = createPixelImage(w, h);
    if (!image || blank) return image;
    const int cw = dice.between(1, w), ch = dice.between(1, h);
    const int left = dice.between(0, w - cw), top = dice.between(0, h - ch);
    for (int y = top; y < top + ch; ++y) {
        for (int x = left; x < left + cw; ++x) {
            const int kind = dice.between(1, 100);
            if (kind <= 6) continue;
            const std::uint8_t alpha =
                kind <= 18 ? static_cast<std::uint8_t>(dice.between(1, 254)) : std::uint8_t{255};
            setPixel(*image, x, y, packPixel(dice.byte(), dice.byte(), dice.byte(), alpha));
        }
    }
    return image;
}

// The same pixels as box of `from`, inside new random margins.
ImagePtr reframed(Dice& dice, const PixelImage& from, const Box& box) {
    const int w = std::min(40, box.w + dice.between(0, 6));
    const int h = std::min(40, box.h + dice.between(0, 6));
    ImagePtr image = createPixelImage(w, h);
    if (!image) return image;
    const int left = dice.between(0, w - box.w), top = dice.between(0, h - box.h);
    for (int y = 0; y < box.h; ++y) {
        for (int x = 0; x < box.w; ++x)
            setPixel(*image, left + x, top + y, getPixel(from, box.x + x, box.y + y));
    }
    return image;
}

// Writes 1 to 40 sprites of 1 to 40 pixels a side into folder, some in
// sub-folders, some exact copies of another file, some the same pixels in other
// margins, now and then one without any pixel; a fifth of the folders have one
// size for all. Answers them as read back, in name order.
std::vector<Sprite> writeFolder(Dice& dice, const TempDir& folder) {
    const int count = dice.between(1, 40);
    const bool oneSize = dice.chance(20);
    const int commonW = dice.between(1, 40), commonH = dice.between(1, 40);
    const char* subFolders[] = {"", "", "", "a/", "a/b/", "c/"};
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) {
        char base[16];
        std::snprintf(base, sizeof base, "s%02d.png", i);
        const std::string name = subFolders[dice.between(0, 5)] + std::string(base);
        const fs::path path = folder.path() / name;
        fs::create_directories(path.parent_path());
        const int kind = dice.between(1, 100);
        if (i > 0 && kind <= 15) {
            fs::copy_file(folder.path() / names[static_cast<std::size_t>(dice.between(0, i - 1))],
                          path);
        } else {
            ImagePtr image;
            if (i > 0 && kind <= 27 && !oneSize) {
                ImagePtr earlier = CreateBitmapFromFile(
                    (folder.path() / names[static_cast<std::size_t>(dice.between(0, i - 1))])
                        .string());
                if (earlier && ensure32Bit(earlier)) {
                    if (const auto box = alphaTrim(*earlier))
                        image = reframed(dice, *earlier, *box);
                }
            }
            if (!image) {
                const int w = oneSize ? commonW : dice.between(1, 40);
                const int h = oneSize ? commonH : dice.between(1, 40);
                image = drawSprite(dice, w, h, dice.chance(3));
            }
            EXPECT_TRUE(image && SaveBitmapToFile(image.get(), path.string()) == 0) << name;
        }
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    std::vector<Sprite> sprites;
    for (const std::string& name : names) {
        ImagePtr pixels = CreateBitmapFromFile((folder.path() / name).string());
        EXPECT_TRUE(pixels && ensure32Bit(pixels)) << name;
        if (pixels) sprites.push_back({name, std::move(pixels)});
    }
    return sprites;
}

// ---- The options ---------------------------------------------------------

struct Options {
    std::string fit;  // empty: no --fit
    bool pages = false;
    int extrude = 0;
    bool alias = false;
    std::optional<int> border, spacing;  // unset: not given
    int gridX = 0, gridY = 0;            // 0: not given
    int crop = 0;
    bool recursive = false;
    std::string sort = "size";
    int seed = 0;
    std::optional<int> width, height;  // unset: not given

    int borderSize() const { return border.value_or(kDefaultBorder); }
    int spacingSize() const { return spacing.value_or(kDefaultSpacing); }
    // The fixed atlas size, or the largest that --fit and --pages may use.
    int maxWidth() const { return width.value_or(kFitMaximum); }
    int maxHeight() const { return height.value_or(kFitMaximum); }
    // The largest atlas of the --fit shape within the maximum (the maximum
    // itself without --fit): what a sprite must fit alone to be placed.
    std::pair<int, int> largest() const {
        const auto floorPow2 = [](int v) { return v < 1 ? 0 : 1 << (31 - __builtin_clz(v)); };
        int w = maxWidth(), h = maxHeight();
        if (fit == "pot") w = floorPow2(w), h = floorPow2(h);
        if (fit == "square") w = h = std::min(w, h);
        if (fit == "pot-square") w = h = floorPow2(std::min(w, h));
        return {w, h};
    }

    std::vector<std::string> args() const {
        std::vector<std::string> a;
        const auto add = [&a](const std::string& name, int value) {
            a.insert(a.end(), {name, std::to_string(value)});
        };
        if (!fit.empty()) a.insert(a.end(), {"--fit", fit});
        if (pages) a.push_back("--pages");
        if (extrude > 0) add("--extrude", extrude);
        if (alias) a.push_back("--alias");
        if (border) add("--border", *border);
        if (spacing) add("--spacing", *spacing);
        if (gridX > 0) add("--grid-x", gridX);
        if (gridY > 0) add("--grid-y", gridY);
        add("--crop", crop);
        if (recursive) a.push_back("--recursive");
        a.insert(a.end(), {"--sort", sort});
        if (sort == "random") add("--seed", seed);
        if (width) add("--width", *width);
        if (height) add("--height", *height);
        return a;
    }
};

// A combination of the options for a folder of the given sprites. Crop 2 is
// mostly drawn for folders of one size, sometimes for others (to be refused).
Options drawOptions(Dice& dice, const std::vector<Sprite>& sprites) {
    Options o;
    static const char* const fits[] = {"any", "pot", "square", "pot-square"};
    if (dice.chance(60)) o.fit = fits[dice.between(0, 3)];
    o.pages = dice.chance(40);
    if (dice.chance(50)) o.extrude = dice.between(1, 3);
    o.alias = dice.chance(45);
    if (dice.chance(50)) o.border = dice.between(0, 3);
    if (dice.chance(50)) o.spacing = dice.between(0, 3);
    if (dice.chance(25)) o.gridX = dice.between(1, 6);
    if (dice.chance(25)) o.gridY = dice.between(1, 6);
    bool oneSize = true;
    for (const Sprite& s : sprites) {
        oneSize = oneSize && s.width() == sprites[0].width() && s.height() == sprites[0].height();
    }
    o.crop = dice.chance(oneSize ? 50 : 4) ? 2 : dice.between(0, 1);
    o.recursive = dice.chance(50);
    static const char* const sorts[] = {"name", "size", "random"};
    o.sort = sorts[dice.between(0, 2)];
    o.seed = dice.between(0, 1000);
    if (!o.fit.empty()) {
        // The maximum: often not given, sometimes a power of two, sometimes too small.
        if (dice.chance(60)) {
            o.width = dice.chance(30) ? 1 << dice.between(4, 8) : dice.between(16, 300);
            o.height = dice.chance(30) ? 1 << dice.between(4, 8) : dice.between(16, 300);
        }
    } else if (o.pages) {
        o.width = dice.between(8, 128);
        o.height = dice.between(8, 128);
    } else {
        o.width = dice.between(16, 256);
        o.height = dice.between(16, 256);
    }
    return o;
}

// ---- A case and what came out of it --------------------------------------

struct Frame {
    std::string name;
    std::size_t page = 0;
    Box box;
    Json json;
};

struct Page {
    std::string stem;
    std::string png;  // the file's bytes
    ImagePtr atlas;
    Json doc;
};

struct Case {
    int number = 0;
    Options options;
    TempDir input, output;
    std::vector<Sprite> sprites;
    // The images the build must see (the tree with --recursive), by name.
    std::map<std::string, const Sprite*> expected;
    // Those it can place (crop needs a pixel), with the box of each that is placed.
    std::map<std::string, Box> placed;
    bool refused = false;  // crop 2 over images of more than one size
    std::string command;   // as printed: the folders as {in} and {out}

    PackResult result;
    std::vector<Page> pages;
    std::vector<std::string> files;  // the output folder's entries
    std::vector<Frame> frames;
    std::map<std::string, std::vector<std::string>> failures;  // name: reasons

    bool sized() const { return !options.fit.empty() || options.pages; }
    bool fitNoted() const { return result.err.find("no atlas size up to") != std::string::npos; }
};

// What the build must do with the case's folder, worked out from the pixels.
void model(Case& c) {
    for (const Sprite& s : c.sprites) {
        if (!c.options.recursive && s.name.find('/') != std::string::npos) continue;
        c.expected[s.name] = &s;
        const Box whole{0, 0, s.width(), s.height()};
        if (c.options.crop == 0) {
            c.placed[s.name] = whole;
        } else if (const auto trim = alphaTrim(*s.pixels)) {
            c.placed[s.name] = *trim;
        }
    }
    if (c.options.crop != 2 || c.placed.empty()) return;
    // One box for all: the union of the trims, when all have one size.
    const Sprite& first = *c.expected[c.placed.begin()->first];
    int left = first.width(), top = first.height(), right = 0, bottom = 0;
    for (const auto& [name, box] : c.placed) {
        const Sprite& s = *c.expected[name];
        if (s.width() != first.width() || s.height() != first.height()) c.refused = true;
        left = std::min(left, box.x);
        top = std::min(top, box.y);
        right = std::max(right, box.x + box.w);
        bottom = std::max(bottom, box.y + box.h);
    }
    for (auto& [name, box] : c.placed) box = {left, top, right - left, bottom - top};
}

std::vector<std::string> packArgs(const std::string& input, const fs::path& output,
                                  const std::vector<std::string>& options) {
    std::vector<std::string> args = {"tilvane-pack",
                                     "--input",
                                     input + "/",
                                     "--image",
                                     (output / "atlas.png").string(),
                                     "--text",
                                     (output / "atlas.json").string(),
                                     "--format",
                                     "hash",
                                     "--no-mask"};
    args.insert(args.end(), options.begin(), options.end());
    return args;
}

// The command as printed: the input and output folders as {in} and {out}.
std::string commandLine(const std::vector<std::string>& args, const TempDir& input,
                        const TempDir& output) {
    std::string line;
    for (std::string arg : args) {
        for (const auto& [from, to] : {std::pair{input.path().string(), std::string("{in}")},
                                       std::pair{output.path().string(), std::string("{out}")}}) {
            if (arg.rfind(from, 0) == 0) arg = to + arg.substr(from.size());
        }
        line += (line.empty() ? "" : " ") + arg;
    }
    return line;
}

// Reads every stem.png with its stem.json in folder, shortest name first, so
// "atlas" comes before "atlas-1" and "atlas-9" before "atlas-10".
std::vector<Page> readPages(const fs::path& folder, std::vector<std::string>* problems) {
    std::vector<std::string> stems;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().extension() == ".png") stems.push_back(entry.path().stem().string());
    }
    std::sort(stems.begin(), stems.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    std::vector<Page> pages;
    for (const std::string& stem : stems) {
        Page page{stem, readFile((folder / (stem + ".png")).string()),
                  CreateBitmapFromFile((folder / (stem + ".png")).string()),
                  Json::parse(readFile((folder / (stem + ".json")).string()), nullptr, false)};
        if (!page.atlas || !ensure32Bit(page.atlas)) {
            problems->push_back(stem + ".png does not decode");
            continue;
        }
        if (page.doc.is_discarded() || !page.doc.contains("frames") ||
            !page.doc["frames"].is_object()) {
            problems->push_back(stem + ".json is not a JSON hash");
            continue;
        }
        pages.push_back(std::move(page));
    }
    return pages;
}

// The failures the report lists: "NAME          (REASON)" lines.
std::map<std::string, std::vector<std::string>> reportedFailures(const std::string& err) {
    std::map<std::string, std::vector<std::string>> failures;
    std::istringstream lines(err);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t gap = line.rfind("          (");
        if (gap == std::string::npos || line.back() != ')') continue;
        failures[line.substr(0, gap)].push_back(line.substr(gap + 11, line.size() - gap - 12));
    }
    return failures;
}

// ---- The properties ------------------------------------------------------

using Problems = std::vector<std::string>;

int intOf(const Json& j, const char* key) {
    return j.contains(key) && j[key].is_number_integer() ? j[key].get<int>() : -1;
}

Box boxOf(const Json& j) {
    return {intOf(j, "x"), intOf(j, "y"), intOf(j, "w"), intOf(j, "h")};
}

// Whether a sprite of `side` pixels finds a place on one axis of an empty
// atlas `atlas` pixels long: its ring on both ends, the spacing after it
// unless only the sprite fits, a start on the grid inside the border and the
// end stretched to the grid's next line, inside the border too.
bool fitsAxis(int side, int atlas, const Options& o, int grid) {
    const int ringed = side + 2 * o.extrude;
    const int footprint =
        ringed + o.spacingSize() > atlas && ringed <= atlas ? ringed : ringed + o.spacingSize();
    const int step = grid >= 2 ? grid : 1;
    const int border = o.borderSize();
    const int start = (border + step - 1) / step * step;
    // The end is stretched only when it does not already lie on a grid line.
    const int last = start + footprint - 1;
    const int up = (last + step - 1) / step * step;
    const int end = up > last ? up - 1 : last;
    return start < atlas - border && end < atlas - border;
}

bool fitsAlone(const Box& box, const Options& o) {
    const auto [w, h] = o.largest();
    return fitsAxis(box.w, w, o, o.gridX) && fitsAxis(box.h, h, o, o.gridY);
}

int expectedStatus(const Case& c) {
    if (c.refused) return 2;
    if (c.expected.empty() || c.placed.empty()) return 4;
    return c.failures.empty() ? 0 : 1;
}

// Each property is a named check over a finished case; a case that must be
// refused or finds nothing is only checked by the first two.
struct Property {
    const char* name;
    bool needsBuild;
    std::function<void(Case&, Problems&)> check;
};

void checkStatus(Case& c, Problems& p) {
    const int want = expectedStatus(c);
    if (c.result.status != want) {
        p.push_back("exit status " + std::to_string(c.result.status) + ", expected " +
                    std::to_string(want) + " (" + std::to_string(c.failures.size()) +
                    " failures listed); stderr: " + c.result.err.substr(0, 400));
    }
    if (c.refused && c.result.err.find("same dimensions") == std::string::npos)
        p.push_back("crop 2 over unequal sizes without the refusal's message");
}

void checkOutputFiles(Case& c, Problems& p) {
    std::set<std::string> want;
    if (c.result.status == 0 || c.result.status == 1) {
        const std::size_t count = c.options.pages ? std::max<std::size_t>(c.pages.size(), 1) : 1;
        for (std::size_t page = 1; page <= count; ++page) {
            const std::string stem = pageStem("atlas", c.options.pages, page);
            want.insert({stem + ".png", stem + ".json"});
        }
    }
    const std::set<std::string> got(c.files.begin(), c.files.end());
    if (got != want) {
        std::string list;
        for (const std::string& f : got) list += " " + f;
        p.push_back("output files:" + (list.empty() ? std::string(" none") : list) +
                    "; expected pages named " + pageStem("atlas", c.options.pages, 1) + ".png...");
    }
    for (const Page& page : c.pages) {
        const Json& meta = page.doc.contains("meta") ? page.doc["meta"] : Json();
        if (!meta.is_object() || meta.value("image", "") != page.stem + ".png" ||
            !meta.contains("size") || intOf(meta["size"], "w") != page.atlas->width() ||
            intOf(meta["size"], "h") != page.atlas->height()) {
            p.push_back(page.stem + ".json's meta does not name " + page.stem +
                        ".png and its size: " + (meta.is_null() ? "none" : meta.dump()));
        }
        // Each page lists the others' text files, in order; one page lists none.
        Json others = Json::array();
        for (const Page& other : c.pages) {
            if (other.stem != page.stem) others.push_back(other.stem + ".json");
        }
        const Json listed = meta.is_object() && meta.contains("related_multi_packs")
                                ? meta["related_multi_packs"]
                                : Json::array();
        if (listed != others) {
            p.push_back(page.stem + ".json lists " + listed.dump() + " as the other pages, not " +
                        others.dump());
        }
    }
}

void checkEachOnce(Case& c, Problems& p) {
    std::map<std::string, int> seen;
    for (const Frame& f : c.frames) ++seen[f.name];
    for (const auto& [name, sprite] : c.expected) {
        const int placed = seen.count(name) ? seen[name] : 0;
        const int failed = c.failures.count(name) ? static_cast<int>(c.failures[name].size()) : 0;
        if (placed + failed != 1) {
            p.push_back(name + " placed " + std::to_string(placed) + " times, listed as failed " +
                        std::to_string(failed) + " times");
        }
    }
    for (const auto& [name, count] : seen) {
        if (!c.expected.count(name)) p.push_back("a frame for " + name + ", not an image to pack");
    }
    for (const auto& [name, reasons] : c.failures) {
        if (!c.expected.count(name)) p.push_back(name + " listed as failed, not an image to pack");
    }
}

void checkFailuresJustified(Case& c, Problems& p) {
    for (const auto& [name, reasons] : c.failures) {
        if (!c.expected.count(name)) continue;
        for (const std::string& reason : reasons) {
            const auto box = c.placed.find(name);
            if (reason == "could not crop it") {
                if (box != c.placed.end())
                    p.push_back(name + " could not be cropped, yet has pixels (or crop is 0)");
            } else if (reason == "no space left on output image") {
                if (box == c.placed.end()) {
                    p.push_back(name + " has no pixels to crop, yet failed for space");
                } else if (c.sized() && fitsAlone(box->second, c.options) &&
                           // One atlas of the maximum size, said to hold not all.
                           !(!c.options.pages && c.fitNoted())) {
                    p.push_back(name + " (" + std::to_string(box->second.w) + "x" +
                                std::to_string(box->second.h) + ") fits " +
                                std::to_string(c.options.largest().first) + "x" +
                                std::to_string(c.options.largest().second) +
                                " alone, yet failed for space");
                }
            } else {
                p.push_back(name + " failed: " + reason);
            }
        }
    }
}

// The last "PREFIX N" line of text, or -1.
long long countAfter(const std::string& text, const std::string& prefix, int* lines) {
    long long value = -1;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(prefix, 0) != 0) continue;
        value = std::atoll(line.c_str() + prefix.size());
        ++*lines;
    }
    return value;
}

void checkTotals(Case& c, Problems& p) {
    int addedLines = 0, failedLines = 0, grandLines = 0;
    const std::string all = c.result.out + c.result.err;
    const long long added = countAfter(all, "Total images added: ", &addedLines);
    const long long failed = countAfter(all, "Total images failed: ", &failedLines);
    const long long grand = countAfter(all, "Grand total: ", &grandLines);
    long long failures = 0;
    for (const auto& [name, reasons] : c.failures)
        failures += static_cast<long long>(reasons.size());
    const auto frames = static_cast<long long>(c.frames.size());
    if (addedLines != 1 || added != frames) {
        p.push_back(std::to_string(addedLines) + " \"Total images added\" lines, the last " +
                    std::to_string(added) + ", for " + std::to_string(frames) + " frames");
    }
    if (failures > 0 &&
        (failedLines != 1 || failed != failures || grandLines != 1 || grand != frames + failures)) {
        p.push_back("totals " + std::to_string(failed) + " failed, " + std::to_string(grand) +
                    " in all, for " + std::to_string(failures) + " failures listed");
    }
}

void checkFrames(Case& c, Problems& p) {
    for (const Frame& f : c.frames) {
        const auto box = c.placed.find(f.name);
        if (box == c.placed.end()) continue;  // a frame for an image that cannot be placed
        const Sprite& s = *c.expected[f.name];
        const Json& j = f.json;
        const Box source = j.contains("spriteSourceSize") ? boxOf(j["spriteSourceSize"]) : Box{};
        const Box size = j.contains("sourceSize") ? boxOf(j["sourceSize"]) : Box{};
        const bool trimmed = box->second.w != s.width() || box->second.h != s.height();
        if (source != box->second || size.w != s.width() || size.h != s.height() ||
            f.box.w != box->second.w || f.box.h != box->second.h ||
            j.value("trimmed", !trimmed) != trimmed || j.value("rotated", true)) {
            p.push_back(f.name + ": " + j.dump() + ", expected the source's " + text(box->second) +
                        " of " + std::to_string(s.width()) + "x" + std::to_string(s.height()));
            continue;
        }
        const PixelImage& atlas = *c.pages[f.page].atlas;
        if (f.box.x < 0 || f.box.y < 0 || f.box.x + f.box.w > atlas.width() ||
            f.box.y + f.box.h > atlas.height())
            continue;  // inside-border says so
        for (int y = 0; y < f.box.h; ++y) {
            for (int x = 0; x < f.box.w; ++x) {
                const PixelValue got = getPixel(atlas, f.box.x + x, f.box.y + y);
                const PixelValue want = getPixel(*s.pixels, source.x + x, source.y + y);
                if (got != want) {
                    char line[160];
                    std::snprintf(line, sizeof line,
                                  "%s: pixel (%d,%d) of the frame is %08x, "
                                  "the source's is %08x",
                                  f.name.c_str(), x, y, got, want);
                    p.push_back(line);
                    y = f.box.h;
                    break;
                }
            }
        }
    }
}

void checkExtrusion(Case& c, Problems& p) {
    const int ring = c.options.extrude;
    if (ring == 0) return;
    for (const Frame& f : c.frames) {
        const PixelImage& atlas = *c.pages[f.page].atlas;
        const Box r = grown(f.box, ring);
        bool bad = false;
        for (int y = std::max(0, r.y); !bad && y < std::min(atlas.height(), r.y + r.h); ++y) {
            for (int x = std::max(0, r.x); !bad && x < std::min(atlas.width(), r.x + r.w); ++x) {
                const int ex = std::clamp(x, f.box.x, f.box.x + f.box.w - 1);
                const int ey = std::clamp(y, f.box.y, f.box.y + f.box.h - 1);
                if (getPixel(atlas, x, y) != getPixel(atlas, ex, ey)) {
                    p.push_back(f.name + ": ring pixel (" + std::to_string(x) + "," +
                                std::to_string(y) + ") does not repeat the edge pixel (" +
                                std::to_string(ex) + "," + std::to_string(ey) + ")");
                    bad = true;
                }
            }
        }
    }
}

// The source pixels a frame shows, or empty for an image that cannot be placed.
std::string shownPixels(Case& c, const std::string& name) {
    const auto box = c.placed.find(name);
    return box == c.placed.end() ? std::string() : pixelsOf(*c.expected[name]->pixels, box->second);
}

void checkNoOverlap(Case& c, Problems& p) {
    for (std::size_t i = 0; i < c.frames.size(); ++i) {
        for (std::size_t k = i + 1; k < c.frames.size(); ++k) {
            const Frame& a = c.frames[i];
            const Frame& b = c.frames[k];
            if (a.page != b.page) continue;
            if (a.box == b.box) {
                if (!c.options.alias) {
                    p.push_back(a.name + " and " + b.name + " share " + text(a.box) +
                                " without --alias");
                } else if (shownPixels(c, a.name) != shownPixels(c, b.name)) {
                    p.push_back(a.name + " and " + b.name + " share " + text(a.box) +
                                " with different pixels");
                }
            } else if (overlap(grown(a.box, c.options.extrude), grown(b.box, c.options.extrude))) {
                p.push_back(a.name + " at " + text(a.box) + " and " + b.name + " at " +
                            text(b.box) + " overlap with their rings");
            }
        }
    }
}

// The spacing keeps every other frame's ring off the right of and below each
// ring; on an axis where the ring and the spacing together exceed the atlas
// the ring goes without it.
void checkSpacing(Case& c, Problems& p) {
    const int spacing = c.options.spacingSize();
    for (const Frame& a : c.frames) {
        const PixelImage& atlas = *c.pages[a.page].atlas;
        Box kept = grown(a.box, c.options.extrude);
        if (kept.w + spacing <= atlas.width()) kept.w += spacing;
        if (kept.h + spacing <= atlas.height()) kept.h += spacing;
        for (const Frame& b : c.frames) {
            if (&a == &b || a.page != b.page || a.box == b.box) continue;
            if (overlap(kept, grown(b.box, c.options.extrude))) {
                p.push_back(b.name + " at " + text(b.box) + " lies within the spacing of " +
                            a.name + " at " + text(a.box));
            }
        }
    }
}

void checkInsideBorder(Case& c, Problems& p) {
    const int border = c.options.borderSize();
    const int gx = c.options.gridX >= 2 ? c.options.gridX : 1;
    const int gy = c.options.gridY >= 2 ? c.options.gridY : 1;
    for (const Frame& f : c.frames) {
        const PixelImage& atlas = *c.pages[f.page].atlas;
        const Box r = grown(f.box, c.options.extrude);
        if (r.x < border || r.y < border || r.x + r.w > atlas.width() - border ||
            r.y + r.h > atlas.height() - border) {
            p.push_back(f.name + " with its ring at " + text(r) + " leaves the border of " +
                        std::to_string(border) + " in " + std::to_string(atlas.width()) + "x" +
                        std::to_string(atlas.height()));
        }
        if (r.x % gx != 0 || r.y % gy != 0)
            p.push_back(f.name + " with its ring at " + text(r) + " starts off the grid");
    }
}

void checkBackground(Case& c, Problems& p) {
    for (std::size_t page = 0; page < c.pages.size(); ++page) {
        const PixelImage& atlas = *c.pages[page].atlas;
        std::vector<char> covered(static_cast<std::size_t>(atlas.width() * atlas.height()), 0);
        for (const Frame& f : c.frames) {
            if (f.page != page) continue;
            const Box r = grown(f.box, c.options.extrude);
            for (int y = std::max(0, r.y); y < std::min(atlas.height(), r.y + r.h); ++y) {
                for (int x = std::max(0, r.x); x < std::min(atlas.width(), r.x + r.w); ++x)
                    covered[static_cast<std::size_t>(y * atlas.width() + x)] = 1;
            }
        }
        for (int y = 0; y < atlas.height(); ++y) {
            for (int x = 0; x < atlas.width(); ++x) {
                if (!covered[static_cast<std::size_t>(y * atlas.width() + x)] &&
                    getPixel(atlas, x, y) != 0) {
                    p.push_back(c.pages[page].stem + ": pixel (" + std::to_string(x) + "," +
                                std::to_string(y) + ") outside every frame is not transparent");
                    x = atlas.width();
                    y = atlas.height();
                }
            }
        }
    }
}

// With --alias, images of identical pixels are stored once: one page, one box.
void checkAliasesShared(Case& c, Problems& p) {
    if (!c.options.alias) return;
    std::map<std::string, const Frame*> first;
    for (const Frame& f : c.frames) {
        const std::string pixels = shownPixels(c, f.name);
        if (pixels.empty()) continue;
        const auto [at, inserted] = first.emplace(pixels, &f);
        const Frame& a = *at->second;
        if (!inserted && (a.page != f.page || !(a.box == f.box))) {
            p.push_back(a.name + " (" + c.pages[a.page].stem + " " + text(a.box) + ") and " +
                        f.name + " (" + c.pages[f.page].stem + " " + text(f.box) +
                        ") have the same pixels but are stored twice");
        }
    }
}

bool shapeHolds(const std::string& fit, int w, int h) {
    const bool pot = std::has_single_bit(unsigned(w)) && std::has_single_bit(unsigned(h));
    if (fit == "pot") return pot;
    if (fit == "square") return w == h;
    if (fit == "pot-square") return pot && w == h;
    return true;
}

void checkAtlasSize(Case& c, Problems& p) {
    const Options& o = c.options;
    for (const Page& page : c.pages) {
        const int w = page.atlas->width(), h = page.atlas->height();
        const std::string size = page.stem + " is " + std::to_string(w) + "x" + std::to_string(h);
        if (o.fit.empty()) {
            if (w != o.maxWidth() || h != o.maxHeight())
                p.push_back(size + ", not the --width and --height given");
        } else if (w > o.maxWidth() || h > o.maxHeight()) {
            p.push_back(size + ", beyond the maximum");
        } else if (!shapeHolds(o.fit, w, h)) {
            // Even with no size holding everything, the fallback is of the shape.
            p.push_back(size + ", not of the shape " + o.fit);
        }
    }
}

// Another build of some of the case's files, copied to a folder of their own
// ({in} in its command).
struct Rebuild {
    std::string command;  // as printed, with the case's folder names
    PackResult result;
    std::vector<Page> pages;
    Problems unreadable;
};

Rebuild buildAgain(const Case& c, const std::vector<std::string>& names, const Options& options) {
    TempDir input, output;
    for (const std::string& name : names) {
        fs::create_directories((input.path() / name).parent_path());
        fs::copy_file(c.input.path() / name, input.path() / name);
    }
    const std::vector<std::string> args =
        packArgs(input.path().string(), output.path(), options.args());
    Rebuild r;
    r.command = commandLine(args, input, output);
    r.result = run(args);
    r.pages = readPages(output.path(), &r.unreadable);
    return r;
}

int rebuildsCompared = 0, rebuildsSkipped = 0, aliasesCompared = 0;

// A build of the files named at the fixed size of page `page`: the same pixels
// and the same frames.
void compareFixed(Case& c, Problems& p, std::size_t page, const std::vector<std::string>& names) {
    Options fixed = c.options;
    fixed.fit.clear();
    fixed.pages = false;
    fixed.width = c.pages[page].atlas->width();
    fixed.height = c.pages[page].atlas->height();
    const Rebuild r = buildAgain(c, names, fixed);
    ++rebuildsCompared;
    const std::string again = r.command + " (for " + c.pages[page].stem + ")";
    if (r.result.status > 1 || r.pages.size() != 1) {
        p.push_back(again + " answered " + std::to_string(r.result.status) + ": " + r.result.err);
    } else if (r.pages[0].png != c.pages[page].png) {
        p.push_back(again + " drew other pixels");
    } else if (r.pages[0].doc["frames"] != c.pages[page].doc["frames"]) {
        p.push_back(again + " wrote other frames");
    }
}

// A fitted build is the fixed build of the size it found; each page is the
// build of its own files alone. A page's files alone order otherwise at
// random, and crop 2 joins the trims of other files: those are not compared.
void checkRebuilds(Case& c, Problems& p) {
    if (!c.sized() || c.pages.empty()) return;
    if (!c.options.pages) {
        std::vector<std::string> all;
        for (const Sprite& s : c.sprites) all.push_back(s.name);
        compareFixed(c, p, 0, all);
        return;
    }
    if (c.options.sort == "random" || c.options.crop == 2) {
        ++rebuildsSkipped;
        return;
    }
    for (std::size_t page = 0; page < c.pages.size(); ++page) {
        std::vector<std::string> names;
        for (const Frame& f : c.frames) {
            if (f.page == page) names.push_back(f.name);
        }
        if (!names.empty()) compareFixed(c, p, page, names);
    }
}

// An image stored as an alias takes no room: with --alias the build equals,
// page for page and pixel for pixel, the build of the folder without the
// images whose pixels an earlier one has (earlier in name order, which both
// --sort name and --sort size follow for equal pixels; a random order over
// fewer files is another order, so it is not compared). Sizing included.
void checkAliasTakesNoRoom(Case& c, Problems& p) {
    if (!c.options.alias || c.options.sort == "random") return;
    std::set<std::string> seen;
    std::set<std::string> later;  // the images another has the pixels of
    for (const auto& [name, box] : c.placed) {
        if (!seen.insert(shownPixels(c, name)).second) later.insert(name);
    }
    if (later.empty()) return;
    std::vector<std::string> rest;
    for (const Sprite& s : c.sprites) {
        if (!later.count(s.name)) rest.push_back(s.name);
    }
    const Rebuild r = buildAgain(c, rest, c.options);
    ++aliasesCompared;
    std::string sizes;
    for (const Page& page : r.pages)
        sizes +=
            " " + std::to_string(page.atlas->width()) + "x" + std::to_string(page.atlas->height());
    std::string ours;
    for (const Page& page : c.pages)
        ours +=
            " " + std::to_string(page.atlas->width()) + "x" + std::to_string(page.atlas->height());
    const std::string again =
        r.command + " (without the " + std::to_string(later.size()) + " later copies)";
    if (r.pages.size() != c.pages.size() || sizes != ours) {
        p.push_back(again + " made pages" + sizes + ", this build" + ours);
        return;
    }
    for (std::size_t page = 0; page < c.pages.size(); ++page) {
        if (r.pages[page].png != c.pages[page].png) {
            p.push_back(again + " drew other pixels on " + c.pages[page].stem);
            continue;
        }
        for (const auto& [name, frame] : r.pages[page].doc["frames"].items()) {
            if (c.pages[page].doc["frames"].value(name, Json()) != frame)
                p.push_back(again + " placed " + name + " elsewhere");
        }
    }
}

const std::vector<Property>& properties() {
    static const std::vector<Property> table = {
        {"exit-status", false, checkStatus},
        {"output-files", false, checkOutputFiles},
        {"each-image-once", true, checkEachOnce},
        {"failures-justified", true, checkFailuresJustified},
        {"totals", true, checkTotals},
        {"frame-pixels", true, checkFrames},
        {"extrusion", true, checkExtrusion},
        {"no-overlap", true, checkNoOverlap},
        {"spacing", true, checkSpacing},
        {"inside-border-on-grid", true, checkInsideBorder},
        {"background", true, checkBackground},
        {"alias-shared", true, checkAliasesShared},
        {"atlas-size", true, checkAtlasSize},
        {"fixed-rebuild", true, checkRebuilds},
        {"alias-takes-no-room", true, checkAliasTakesNoRoom},
    };
    return table;
}

// ---- The run -------------------------------------------------------------

// Copies the case's folders to keep/case-N when keep is set.
void keepCase(const Case& c, const char* keep) {
    if (!keep || !*keep) return;
    const fs::path to = fs::path(keep) / ("case-" + std::to_string(c.number));
    std::error_code ec;
    fs::remove_all(to, ec);
    fs::create_directories(to, ec);
    fs::copy(c.input.path(), to / "in", fs::copy_options::recursive, ec);
    fs::copy(c.output.path(), to / "out", fs::copy_options::recursive, ec);
    writeFile((to / "command").string(), c.command + "\n");
}

TEST(PackProperty, RandomFoldersAndOptionsKeepEveryPromise) {
    const auto seed =
        static_cast<std::uint32_t>(environmentNumber("TILVANE_PROPERTY_SEED", kDefaultSeed));
    const int cases = environmentNumber("TILVANE_PROPERTY_CASES", kDefaultCases);
    const int only = environmentNumber("TILVANE_PROPERTY_CASE", -1);
    rebuildsCompared = rebuildsSkipped = aliasesCompared = 0;
    std::map<std::string, int> ran;
    std::map<std::string, std::vector<int>> failed;
    int count = 0;
    for (int number = only >= 0 ? only : 0; number < (only >= 0 ? only + 1 : cases); ++number) {
        Dice dice(seed, static_cast<std::uint32_t>(number));
        Case c;
        c.number = number;
        c.sprites = writeFolder(dice, c.input);
        c.options = drawOptions(dice, c.sprites);
        model(c);
        const std::vector<std::string> args =
            packArgs(c.input.path().string(), c.output.path(), c.options.args());
        c.command = commandLine(args, c.input, c.output);
        c.result = run(args);
        ++count;

        Problems readProblems;
        for (const auto& entry : fs::directory_iterator(c.output.path()))
            c.files.push_back(entry.path().filename().string());
        c.pages = readPages(c.output.path(), &readProblems);
        for (std::size_t page = 0; page < c.pages.size(); ++page) {
            for (const auto& [name, frame] : c.pages[page].doc["frames"].items()) {
                c.frames.push_back({name, page, boxOf(frame.value("frame", Json())), frame});
            }
        }
        c.failures = reportedFailures(c.result.err);
        const bool built =
            !c.refused && (c.result.status == 0 || c.result.status == 1) && !c.placed.empty();

        ++ran[c.options.fit.empty() ? "fit none" : "fit " + c.options.fit];
        ++ran["crop " + std::to_string(c.options.crop) + (c.refused ? " refused" : "")];
        if (c.options.pages) ++ran["pages"];
        if (c.options.extrude > 0) ++ran["extrude 1-3"];
        if (c.options.alias) ++ran["alias"];
        if (c.options.recursive) ++ran["recursive"];
        if (c.options.gridX >= 2 || c.options.gridY >= 2) ++ran["grid"];
        if (c.options.border && *c.options.border == 0) ++ran["border 0"];
        if (c.options.spacing && *c.options.spacing == 0) ++ran["spacing 0"];
        if (!c.failures.empty()) ++ran["with failures"];
        if (c.fitNoted()) ++ran["fit noted no size"];
        ++ran["status " + std::to_string(c.result.status)];

        bool caseFailed = false;
        const auto report = [&](const std::string& property, const Problems& problems) {
            if (problems.empty()) return;
            caseFailed = true;
            failed[property].push_back(number);
            std::string lines;
            for (std::size_t i = 0; i < problems.size() && i < 4; ++i)
                lines += "\n  " + problems[i];
            if (problems.size() > 4)
                lines += "\n  ... and " + std::to_string(problems.size() - 4) + " more";
            ADD_FAILURE() << "seed " << seed << " case " << number << ": " << property << lines
                          << "\n  " << c.command;
        };
        report("readable-outputs", readProblems);
        for (const Property& property : properties()) {
            if (property.needsBuild && !built) continue;
            Problems problems;
            property.check(c, problems);
            report(property.name, problems);
        }
        if (caseFailed) keepCase(c, std::getenv("TILVANE_PROPERTY_KEEP"));
    }

    std::string summary;
    for (const auto& [what, n] : ran)
        summary += (summary.empty() ? "" : ", ") + what + " " + std::to_string(n);
    std::printf(
        "pack property: seed %u, %d cases (%s); %d fixed rebuilds compared, %d page sets "
        "not rebuilt (random order or crop 2), %d builds without the aliased copies compared\n",
        seed, count, summary.c_str(), rebuildsCompared, rebuildsSkipped, aliasesCompared);
    for (const auto& [property, numbers] : failed) {
        std::string list;
        for (const int n : numbers) list += " " + std::to_string(n);
        std::printf("pack property: %s fails in %zu cases:%s\n", property.c_str(), numbers.size(),
                    list.c_str());
    }
    EXPECT_GT(count, 0);
}

}  // namespace
}  // namespace tilvane::testing
