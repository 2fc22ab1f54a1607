// Random folders packed by the built tilvane-pack with random combinations of
// the layout options (either packer, --rotate with maxrects), each result
// checked against what the options promise: readable-outputs, exit-status,
// output-files, each-image-once, failures-justified, totals, frame-pixels,
// extrusion, no-overlap, spacing, inside-border-on-grid, background,
// alias-shared, atlas-size, fixed-rebuild, alias-takes-no-room, depfile,
// verified (--verify finds every entry sound), bleed (with --premultiply,
// frame-pixels are the source's premultiplied; some sprites and atlases are
// lossless WebP) and engine-data (--animations, --pivot and --sprite-data as
// the JSON hash or the phaser-multi file carries them). With --scale every
// property holds of the sprites as resampled (by the resampler the build uses,
// whose own test holds it to what a filter must keep); with --keep-layout, a
// second build after one image changed keeps them too (but the rebuilds') and
// kept-layout. The environment chooses the run:
// TILVANE_PROPERTY_SEED (the seed), TILVANE_PROPERTY_CASES (how many cases),
// TILVANE_PROPERTY_CASE (that case alone) and TILVANE_PROPERTY_KEEP (a folder
// that receives the input and outputs of every case that fails). Each case
// draws from its own generator, seeded by the seed and its number, so one case
// reruns alone as it ran.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <regex>
#include <set>
#include <span>
#include <sstream>

#include "image/resample.h"
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

int environmentNumber(const char* name, int fallback) {
    const char* text = std::getenv(name);
    return text && *text ? std::atoi(text) : fallback;
}

// The parts as a stream prints them, one after the other.
template <class... Parts>
std::string cat(const Parts&... parts) {
    std::ostringstream out;
    (out << ... << parts);
    return out.str();
}

// The items, each after a blank.
template <class Items>
std::string listed(const Items& items) {
    std::string text;
    for (const auto& item : items) text += cat(" ", item);
    return text;
}

// What the properties found wrong: by property, one line each.
struct Found : std::map<std::string, std::vector<std::string>> {
    template <class... Parts>
    void operator()(const char* property, const Parts&... parts) {
        (*this)[property].push_back(cat(parts...));
    }
};

// One case's draws.
struct Dice {
    std::mt19937 engine;
    int between(int lo, int hi) {
        return lo + static_cast<int>(engine() % static_cast<std::uint32_t>(hi - lo + 1));
    }
    bool chance(int percent) { return between(1, 100) <= percent; }
};

// ---- Pixels and boxes ----------------------------------------------------

struct Box {
    int x = 0, y = 0, w = 0, h = 0;  // empty when w is 0
    static Box of(const PixelImage& image) { return {0, 0, image.width(), image.height()}; }
    friend bool operator==(const Box&, const Box&) = default;
    friend std::ostream& operator<<(std::ostream& out, const Box& b) {
        return out << b.w << 'x' << b.h << '+' << b.x << '+' << b.y;
    }
    Box grown(int ring) const { return {x - ring, y - ring, w + 2 * ring, h + 2 * ring}; }
    bool overlaps(const Box& b) const {
        return x < b.x + b.w && b.x < x + w && y < b.y + b.h && b.y < y + h;
    }
    bool holds(int px, int py) const { return x <= px && px < x + w && y <= py && py < y + h; }
    bool holds(const Box& b) const { return joined(b) == *this; }
    // The smallest box holding both.
    Box joined(const Box& b) const {
        if (w == 0) return b;
        const int left = std::min(x, b.x), top = std::min(y, b.y);
        return {left, top, std::max(x + w, b.x + b.w) - left, std::max(y + h, b.y + b.h) - top};
    }
};

// Calls f(x, y) on each pixel of the box, row by row, until it answers false.
template <class F>
void everyPixel(const Box& b, F f) {
    for (int y = b.y; y < b.y + b.h; ++y)
        for (int x = b.x; x < b.x + b.w; ++x)
            if (!f(x, y)) return;
}

// The smallest box holding every pixel with alpha above 0; empty for none.
Box alphaTrim(const PixelImage& image) {
    Box trim;
    everyPixel(Box::of(image), [&](int x, int y) {
        if (getPixel(image, x, y) >> 24) trim = trim.joined({x, y, 1, 1});
        return true;
    });
    return trim;
}

// The pixels of the box, row by row, as bytes to compare.
std::string pixelsOf(const PixelImage& image, const Box& box) {
    std::string bytes;
    everyPixel(box, [&](int x, int y) {
        const PixelValue p = getPixel(image, x, y);
        bytes.append(reinterpret_cast<const char*>(&p), sizeof p);
        return true;
    });
    return bytes;
}

// ---- The folder ----------------------------------------------------------

// The image files of the input folder as the test reads them back (32 bits),
// by name: relative to the folder, '/' between folders.
using Sprites = std::map<std::string, ImagePtr>;

// A w x h sprite: a block of random colours in random transparent margins,
// some of its pixels translucent and some holes (fully transparent, black);
// or, when `blank`, nothing at all.
ImagePtr drawSprite(Dice& dice, int w, int h, bool blank) {
    ImagePtr image = createPixelImage(w, h);
    if (blank) return image;
    const int cw = dice.between(1, w), ch = dice.between(1, h);
    const int left = dice.between(0, w - cw), top = dice.between(0, h - ch);
    everyPixel(Box{left, top, cw, ch}, [&](int x, int y) {
        const int kind = dice.between(1, 100);
        if (kind <= 6) return true;
        const auto alpha = static_cast<std::uint8_t>(kind <= 18 ? dice.between(1, 254) : 255);
        const auto byte = [&] { return static_cast<std::uint8_t>(dice.between(0, 255)); };
        setPixel(*image, x, y, packPixel(byte(), byte(), byte(), alpha));
        return true;
    });
    return image;
}

// The same pixels as box of `from`, inside new random margins.
ImagePtr reframed(Dice& dice, const PixelImage& from, const Box& box) {
    const int w = std::min(40, box.w + dice.between(0, 6));
    ImagePtr image = createPixelImage(w, std::min(40, box.h + dice.between(0, 6)));
    const int left = dice.between(0, image->width() - box.w) - box.x;
    const int top = dice.between(0, image->height() - box.h) - box.y;
    everyPixel(box, [&](int x, int y) {
        setPixel(*image, left + x, top + y, getPixel(from, x, y));
        return true;
    });
    return image;
}

// The image files of the folder, read back.
Sprites readSprites(const fs::path& folder) {
    Sprites sprites;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        ImagePtr pixels = CreateBitmapFromFile(entry.path().string());
        EXPECT_TRUE(pixels && ensure32Bit(pixels)) << entry.path();
        if (pixels) sprites[entry.path().lexically_relative(folder).string()] = std::move(pixels);
    }
    return sprites;
}

// Writes 1 to 40 sprites of 1 to 40 pixels a side into folder, some in
// sub-folders, some exact copies of another file, some the same pixels in other
// margins, now and then one without any pixel, a tenth as WebP; a fifth of the
// folders have one size for all.
Sprites writeFolder(Dice& dice, const TempDir& folder) {
    const int count = dice.between(1, 40);
    const bool oneSize = dice.chance(20);
    const int commonW = dice.between(1, 40), commonH = dice.between(1, 40);
    const char* subFolders[] = {"", "", "", "a/", "a/b/", "c/"};
    std::vector<fs::path> paths;
    const auto earlier = [&](int i) { return paths[dice.between(0, i - 1)]; };
    for (int i = 0; i < count; ++i) {
        // Names that end in a number after a separator, for --animations.
        const fs::path path = paths.emplace_back(
            folder.path() / cat(subFolders[dice.between(0, 5)], i % 3 == 2 ? "t-" : "s_",
                                i < 10 ? "0" : "", i, dice.chance(10) ? ".webp" : ".png"));
        fs::create_directories(path.parent_path());
        const int kind = dice.between(1, 100);
        if (i > 0 && kind <= 15) {
            // A copy keeps the format of its file.
            const fs::path from = earlier(i);
            fs::copy_file(from, paths.back().replace_extension(from.extension()));
            continue;
        }
        ImagePtr image;
        if (i > 0 && kind <= 27 && !oneSize) {
            ImagePtr from = CreateBitmapFromFile(earlier(i).string());
            const Box box = from && ensure32Bit(from) ? alphaTrim(*from) : Box{};
            if (box.w) image = reframed(dice, *from, box);
        }
        if (!image) {
            const int w = oneSize ? commonW : dice.between(1, 40);
            const int h = oneSize ? commonH : dice.between(1, 40);
            image = drawSprite(dice, w, h, dice.chance(3));
        }
        EXPECT_EQ(SaveBitmapToFile(image.get(), path.string()), 0) << path;
    }
    return readSprites(folder.path());
}

// ---- The options ---------------------------------------------------------

// Options as tilvane-pack takes them: each name with its value (empty for a
// switch).
struct Options : std::map<std::string, std::string> {
    bool has(const std::string& name) const { return count(name) > 0; }
    std::string text(const std::string& name, const std::string& fallback = "") const {
        return has(name) ? at(name) : fallback;
    }
    int number(const std::string& name, int fallback = 0) const {
        return has(name) ? std::stoi(at(name)) : fallback;
    }
    double scale() const { return std::stod(text("--scale", "1")); }
    bool sized() const { return has("--fit") || has("--pages"); }
    // The atlas's extension, with its dot.
    std::string image() const {
        return has("--image") ? fs::path(at("--image")).extension().string() : ".png";
    }
    bool fit(const char* shape) const { return text("--fit").find(shape) != std::string::npos; }
    // The largest atlas of the --fit shape within the maximum (the size
    // itself without --fit): what a sprite must fit alone to be placed.
    std::pair<int, int> largest() const {
        const auto floor2 = [](int v) { return static_cast<int>(std::bit_floor(unsigned(v))); };
        int w = number("--width", kFitMaximum), h = number("--height", kFitMaximum);
        if (fit("square")) w = h = std::min(w, h);
        if (fit("pot")) w = floor2(w), h = floor2(h);
        return {w, h};
    }
};

// A combination of the options for a folder of the given sprites. Crop 2 is
// mostly drawn for folders of one size, sometimes for others (to be refused).
Options drawOptions(Dice& dice, const Sprites& sprites) {
    Options o;
    const auto maybe = [&](int percent, const char* name, int lo = 0, int hi = -1) {
        if (dice.chance(percent)) o[name] = hi < lo ? "" : std::to_string(dice.between(lo, hi));
    };
    // One of the values, with the chance given (100: always, without a draw).
    const auto pick = [&](int percent, const char* name, std::vector<const char*> values) {
        if (percent == 100 || dice.chance(percent))
            o[name] = values[dice.between(0, static_cast<int>(values.size()) - 1)];
    };
    pick(60, "--fit", {"any", "pot", "square", "pot-square"});
    maybe(40, "--pages");
    pick(50, "--packer", {"first-fit", "maxrects", "maxrects"});
    if (o.text("--packer") == "maxrects") maybe(60, "--rotate");
    maybe(50, "--extrude", 1, 3);
    maybe(45, "--alias");
    maybe(30, "--verify");
    maybe(50, "--border", 0, 3);
    maybe(50, "--spacing", 0, 3);
    maybe(25, "--grid-x", 1, 6);
    maybe(25, "--grid-y", 1, 6);
    const bool oneSize = std::all_of(sprites.begin(), sprites.end(), [&](const auto& s) {
        return Box::of(*s.second) == Box::of(*sprites.begin()->second);
    });
    o["--crop"] = std::to_string(dice.chance(oneSize ? 50 : 4) ? 2 : dice.between(0, 1));
    maybe(50, "--recursive");
    maybe(35, "--animations");
    pick(30, "--pivot", {"0.5,1", "0,0", "0.25,0.75", "-0.5,2"});
    if (dice.chance(20)) o["--format"] = "phaser-multi";  // else the JSON hash, the default
    pick(25, "--scale", {"0.5", "0.75", "1", "1.5", "0.3", "2"});
    maybe(25, "--bleed");
    maybe(20, "--premultiply");
    if (dice.chance(15)) o["--image"] = "{out}/atlas.webp";
    pick(100, "--sort", {"name", "size", "random"});
    const int seed = dice.between(0, 1000);
    if (o["--sort"] == "random") o["--seed"] = std::to_string(seed);
    // The size: fixed without --fit; with it often not given, sometimes a
    // power of two, sometimes too small.
    const bool fit = o.has("--fit"), pages = o.has("--pages");
    const int lo = !fit && pages ? 8 : 16, hi = fit ? 300 : pages ? 128 : 256;
    const auto side = [&] {
        return std::to_string(fit && dice.chance(30) ? 1 << dice.between(4, 8)
                                                     : dice.between(lo, hi));
    };
    if (!fit || dice.chance(60)) {
        o["--width"] = side();
        o["--height"] = side();
    }
    if (dice.chance(35)) o["--depfile"] = "{out}/atlas.d";
    // The layout file, in a folder of the case's own ({keep}).
    if (dice.chance(30)) o["--keep-layout"] = "{keep}/layout.json";
    return o;
}

// ---- A build and what came out of it -------------------------------------

struct Page {
    std::string stem, bytes;  // bytes: the atlas file's
    ImagePtr atlas;
    Json doc;
};

struct Frame {
    std::string name;
    std::size_t page = 0;
    Box box;  // the block in the atlas: h x w when turned
    Json json;
    bool rotated = false;
};

// A run of tilvane-pack on input into output's atlas.png (or the --image
// given) and atlas.json (a JSON hash), and what it left there.
struct Build {
    std::string command;  // as printed: the folders as {in} and {out}
    PackResult result;
    std::vector<std::string> files, unreadable;  // the output folder's entries; pages unread
    std::vector<Page> pages;  // "atlas" before "atlas-1", "atlas-9" before "atlas-10"
    std::vector<Frame> frames;
    std::map<std::string, std::vector<std::string>> failures;  // the report's, with reasons
};

Build build(const fs::path& input, const fs::path& output, Options options,
            const fs::path& keep = {}) {
    Build b;
    b.command = "tilvane-pack";
    const std::string ending = options.image();
    options.insert({{"--input", "{in}/"},
                    {"--image", "{out}/atlas.png"},
                    {"--text", "{out}/atlas.json"},
                    {"--format", "hash"},
                    {"--no-mask", ""}});
    std::vector<std::string> args = {"tilvane-pack"};
    for (auto [name, value] : options) {
        b.command += " " + name + (value.empty() ? "" : " " + value);
        if (value.rfind("{in}", 0) == 0) value = input.string() + value.substr(4);
        if (value.rfind("{out}", 0) == 0) value = output.string() + value.substr(5);
        if (value.rfind("{keep}", 0) == 0) value = keep.string() + value.substr(6);
        args.insert(args.end(), {name, value});
        if (value.empty()) args.pop_back();
    }
    b.result = run(args);
    std::istringstream lines(b.result.err);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t gap = line.rfind("          (");  // "NAME          (REASON)"
        if (gap != std::string::npos && line.back() == ')')
            b.failures[line.substr(0, gap)].push_back(
                line.substr(gap + 11, line.size() - gap - 12));
    }
    std::set<std::pair<std::size_t, std::string>> stems;  // shortest first
    for (const auto& entry : fs::directory_iterator(output)) {
        b.files.push_back(entry.path().filename().string());
        const std::string stem = entry.path().stem().string();
        if (entry.path().extension() == ending) stems.insert({stem.size(), stem});
    }
    // phaser-multi: one atlas.json, a "textures" entry per page, read as the
    // hash each page would have had (frames by filename, the image and size as meta).
    const bool multi = options.at("--format") == "phaser-multi";
    const Json file =
        Json::parse(multi ? readFile((output / "atlas.json").string()) : "", nullptr, false);
    const Json textures = file.is_object() ? file.value("textures", Json()) : Json();
    const auto multiPage = [&](const std::string& stem) {
        for (const Json& t : textures.is_array() ? textures : Json::array()) {
            if (!t.is_object() || t.value("image", "") != stem + ending) continue;
            Json doc = {{"frames", Json::object()}, {"meta", t}};
            doc["meta"].erase("frames");
            // The scale as the hash's meta carries it, a string.
            if (t.contains("scale")) doc["meta"]["scale"] = t["scale"].dump();
            for (const Json& frame : t.value("frames", Json::array()))
                doc["frames"][frame.value("filename", "")] = frame;
            return doc;
        }
        return Json();
    };
    for (const auto& [length, stem] : stems) {
        const std::string image = (output / (stem + ending)).string();
        Page page{
            stem, readFile(image), CreateBitmapFromFile(image),
            multi ? multiPage(stem)
                  : Json::parse(readFile((output / (stem + ".json")).string()), nullptr, false)};
        if (!page.atlas || !ensure32Bit(page.atlas)) {
            b.unreadable.push_back(stem + ending + " does not decode");
        } else if (!page.doc.contains("frames") || !page.doc["frames"].is_object()) {
            b.unreadable.push_back(stem + ".json is not a JSON hash");
        } else {
            for (const auto& [name, json] : page.doc["frames"].items()) {
                const auto at = [&json](const char* key) {
                    const Json& f = json.contains("frame") ? json["frame"] : json;
                    return f.contains(key) && f[key].is_number_integer() ? f[key].get<int>() : -1;
                };
                // A turned frame gives the image's upright size.
                const bool turned = json.value("rotated", false) == true;
                const Box box = turned ? Box{at("x"), at("y"), at("h"), at("w")}
                                       : Box{at("x"), at("y"), at("w"), at("h")};
                b.frames.push_back({name, b.pages.size(), box, json, turned});
            }
            b.pages.push_back(std::move(page));
        }
    }
    return b;
}

// ---- A case --------------------------------------------------------------

struct Case : Build {
    Options options;
    TempDir input, output, keep;
    // The pictures the build places (with --scale, resampled), and with
    // --scale the files' own.
    Sprites sprites, sources;
    // The images the build must see (the tree with --recursive).
    std::set<std::string> expected;
    // Those it can place (crop needs a pixel), with the box of each that is placed.
    std::map<std::string, Box> placed;
    bool refused = false;  // crop 2 over unequal sizes
    // --sprite-data: its file's folder and what it says (null without one).
    TempDir data;
    Json spriteData;

    const PixelImage& atlas(const Frame& f) const { return *pages[f.page].atlas; }
    // The source pixels a frame shows, or empty for an image that cannot be placed.
    std::string shown(const std::string& name) const {
        const auto box = placed.find(name);
        return box == placed.end() ? "" : pixelsOf(*sprites.at(name), box->second);
    }
};

// With --scale, the sprites become what the build places: each resampled.
void scaleSprites(Case& c) {
    if (!c.options.has("--scale")) return;
    for (auto& [name, pixels] : c.sprites) {
        ImagePtr scaled = scaledImage(*pixels, c.options.scale());
        c.sources[name] = std::move(pixels);
        pixels = std::move(scaled);
    }
}

// Where box of a picture `from` lies on it scaled to `to`, every pixel it
// reaches included.
Box scaledOutward(const Box& box, const Box& from, const Box& to) {
    const auto low = [](int at, int f, int t) { return at * t / f; };
    const auto high = [](int end, int f, int t) { return (end * t + f - 1) / f; };
    const int x = low(box.x, from.w, to.w), y = low(box.y, from.h, to.h);
    return {x, y, std::max(high(box.x + box.w, from.w, to.w) - x, 1),
            std::max(high(box.y + box.h, from.h, to.h) - y, 1)};
}

// What the build must do with the case's folder, worked out from the pixels.
void model(Case& c) {
    const int crop = c.options.number("--crop");
    Box all;
    for (const auto& [name, pixels] : c.sprites) {
        if (!c.options.has("--recursive") && name.find('/') != std::string::npos) continue;
        c.expected.insert(name);
        Box box = crop == 0 ? Box::of(*pixels) : alphaTrim(*pixels);
        // A scaled sprite whose every pixel faded keeps its file's trim.
        if (box.w == 0 && c.sources.count(name)) {
            const PixelImage& source = *c.sources.at(name);
            const Box trim = alphaTrim(source);
            if (trim.w) box = scaledOutward(trim, Box::of(source), Box::of(*pixels));
        }
        if (box.w == 0) continue;
        c.placed[name] = box;
        all = all.joined(box);
        const Box first = Box::of(*c.sprites[c.placed.begin()->first]);
        c.refused = c.refused || (crop == 2 && !(Box::of(*pixels) == first));
    }
    // Crop 2: one box for all, the union of the trims, when all have one size.
    for (auto& [name, box] : c.placed) box = crop == 2 ? all : box;
}

// Now and then a --sprite-data file: pivots and borders (within the image's
// size) for some of the sprites, and a key that names no image.
void drawSpriteData(Dice& dice, Case& c) {
    if (!dice.chance(30)) return;
    c.spriteData = Json::object();
    for (const auto& [name, pixels] : c.sprites) {
        if (!dice.chance(40)) continue;
        Json values = Json::object();
        if (dice.chance(50))
            values["pivot"] = {dice.between(-4, 8) / 4.0, dice.between(-4, 8) / 4.0};
        if (dice.chance(70)) {
            const int w = pixels->width(), h = pixels->height();
            const int left = dice.between(0, w / 2), top = dice.between(0, h / 2);
            values["borders"] = {left, top, dice.between(0, w - left), dice.between(0, h - top)};
        }
        c.spriteData[name] = values;
    }
    c.spriteData["zz_none.png"] = {{"pivot", {0, 0}}};
    const std::string path = (c.data.path() / "sprites.json").string();
    writeFile(path, c.spriteData.dump());
    c.options["--sprite-data"] = path;
}

// ---- The properties ------------------------------------------------------

// Whether a sprite of `side` pixels finds a place on one axis of an empty
// atlas `atlas` pixels long: its ring on both ends, the spacing after it
// unless only the sprite fits, a start on the grid inside the border and the
// end stretched to the grid's next line, inside the border too.
bool fitsAxis(int side, int atlas, const Options& o, const char* grid) {
    const int ringed = side + 2 * o.number("--extrude"), spacing = o.number("--spacing", 1);
    const int footprint = ringed + spacing > atlas && ringed <= atlas ? ringed : ringed + spacing;
    const int step = std::max(o.number(grid), 1), border = o.number("--border", 1);
    const int start = (border + step - 1) / step * step;
    // The end is stretched only when it does not already lie on a grid line.
    const int last = start + footprint - 1, up = (last + step - 1) / step * step;
    const int end = up > last ? up - 1 : last;
    return start < atlas - border && end < atlas - border;
}

// Each field of want that json holds otherwise or not at all.
void compareFields(Found& p, const char* property, const std::string& what, const Json& json,
                   const Json& want) {
    for (const auto& [key, value] : want.items()) {
        const Json got = json.is_object() ? json.value(key, Json()) : Json();
        if (got != value) p(property, what, "'s ", key, " is ", got.dump(), ", not ", value.dump());
    }
}

// The depfile's rule: every output (the layout file too) as a target; every image of the search
// (placed or not), the input folder and the sub-folders searched as
// prerequisites; nothing else.
void checkDepfile(const Case& c, Found& p, const std::set<std::string>& outputs) {
    std::string rule = readFile((c.output.path() / "atlas.d").string());
    rule = rule.substr(0, rule.find("\n\n"));
    for (std::size_t at; (at = rule.find("\\\n")) != std::string::npos;) rule.replace(at, 2, " ");
    const std::size_t colon = rule.find(':');
    std::set<std::string> wantTargets, wantPrerequisites;
    // The words of text against those wanted.
    const auto compare = [&p](const char* what, const std::string& text,
                              const std::set<std::string>& want) {
        std::set<std::string> got;
        std::istringstream words(text);
        for (std::string word; words >> word;) got.insert(word);
        if (got != want) p("depfile", what, listed(got), "; expected", listed(want));
    };
    for (const std::string& name : outputs) wantTargets.insert((c.output.path() / name).string());
    if (c.options.has("--keep-layout"))
        wantTargets.insert((c.keep.path() / "layout.json").string());
    const std::string in = c.input.path().string() + "/";
    wantPrerequisites.insert(in);
    for (const std::string& name : c.expected) {
        wantPrerequisites.insert(in + name);
        for (fs::path folder = fs::path(name).parent_path(); !folder.empty();
             folder = folder.parent_path())
            wantPrerequisites.insert(in + folder.string() + "/");
    }
    // The sprite data is read as the images are.
    if (c.options.has("--sprite-data")) wantPrerequisites.insert(c.options.at("--sprite-data"));
    compare("targets", colon == std::string::npos ? "" : rule.substr(0, colon), wantTargets);
    compare("prerequisites", rule.substr(colon + 1), wantPrerequisites);
}

// The exit status; the files written: pages numbered from 1 with --pages, a
// single one too, and without it the one atlas keeps the name; each page's
// text file names its image and size, and lists the other pages' text files
// in order (one page lists none).
void checkRun(Case& c, Found& p) {
    for (const std::string& problem : c.unreadable) p("readable-outputs", problem);
    const int want = c.refused ? 2 : c.placed.empty() ? 4 : c.failures.empty() ? 0 : 1;
    if (c.result.status != want)
        p("exit-status", c.result.status, " for ", want, ": ", c.result.err.substr(0, 400));
    if (c.refused && c.result.err.find("same dimensions") == std::string::npos)
        p("exit-status", "crop 2 over unequal sizes without the refusal's message");
    // The pixels checked below are what --verify checks; it must agree.
    if (const std::size_t at = c.result.err.find("tilvane-pack: --verify: ");
        at != std::string::npos)
        p("verified", c.result.err.substr(at, c.result.err.find('\n', at) - at));
    std::set<std::string> files, got(c.files.begin(), c.files.end());
    const bool built = c.result.status == 0 || c.result.status == 1;
    const bool multi = c.options.has("--format");  // phaser-multi, the one drawn
    for (std::size_t page = 1; built && page <= std::max<std::size_t>(c.pages.size(), 1); ++page)
        for (const std::string& ending : {c.options.image(), std::string(".json")})
            if (!multi || ending != ".json")
                files.insert((c.options.has("--pages") ? cat("atlas-", page) : "atlas") + ending);
    if (multi && built) files.insert("atlas.json");
    if (built && c.options.has("--depfile")) {
        checkDepfile(c, p, files);
        files.insert("atlas.d");
    }
    if (got != files) p("output-files", "written", listed(got), "; expected", listed(files));
    for (const Page& page : c.pages) {
        const Json meta = page.doc.value("meta", Json());
        Json others = Json::array();
        for (const Page& other : c.pages)
            if (other.stem != page.stem && !multi) others.push_back(other.stem + ".json");
        Json fields = {{"image", page.stem + c.options.image()},
                       {"size", {{"w", page.atlas->width()}, {"h", page.atlas->height()}}},
                       {"scale", c.options.text("--scale", "1")}};
        if (!others.empty() || (meta.is_object() && meta.contains("related_multi_packs")))
            fields["related_multi_packs"] = others;
        // Said when premultiplied, never otherwise.
        fields["premultipliedAlpha"] = c.options.has("--premultiply") ? Json(true) : Json();
        compareFields(p, "output-files", page.stem + ".json's meta", meta, fields);
    }
}

// Each image placed or listed as failed once, for a reason that holds, and
// the report's totals, each on a line of its own once.
void checkReport(Case& c, Found& p) {
    std::map<std::string, std::size_t> seen;  // placed or listed as failed
    std::size_t failures = 0;
    for (const std::string& name : c.expected) seen[name] = 0;
    for (const Frame& f : c.frames) ++seen[f.name];
    for (const auto& [name, reasons] : c.failures) seen[name] += reasons.size();
    for (const auto& [name, count] : seen)
        if (!c.expected.count(name) || count != 1)
            p("each-image-once", name, " placed or listed as failed ", count, " times",
              c.expected.count(name) ? "" : ", not an image to pack");
    const auto [w, h] = c.options.largest();
    for (const auto& [name, reasons] : c.failures) {
        const auto box = c.placed.find(name);
        failures += reasons.size();
        for (const std::string& reason : reasons) {
            const bool space = reason == "no space left on output image";
            if (!c.expected.count(name)) {
                continue;  // each-image-once says so
            } else if (reason != "could not crop it" && !space) {
                p("failures-justified", name, " failed: ", reason);
            } else if ((box == c.placed.end()) == space) {
                p("failures-justified", name,
                  space ? " has no pixels to crop, yet failed for space"
                        : " could not be cropped, yet has pixels (or crop is 0)");
            } else if (space && c.options.sized() &&
                       ((fitsAxis(box->second.w, w, c.options, "--grid-x") &&
                         fitsAxis(box->second.h, h, c.options, "--grid-y")) ||
                        (c.options.has("--rotate") &&
                         fitsAxis(box->second.h, w, c.options, "--grid-x") &&
                         fitsAxis(box->second.w, h, c.options, "--grid-y"))) &&
                       // One atlas of the maximum size, said to hold not all.
                       (c.options.has("--pages") ||
                        c.result.err.find("no atlas size up to") == std::string::npos)) {
                p("failures-justified", name, " ", box->second, " fits ", w, "x", h,
                  " alone, yet failed for space");
            }
        }
    }
    std::string totals = cat("\nTotal images added: ", c.frames.size(), "\n");
    if (failures > 0)
        totals += cat("Total images failed: ", failures,
                      "\nGrand total: ", c.frames.size() + failures, "\n");
    const std::string all = "\n" + c.result.out + c.result.err;
    bool once = all.find(totals) != std::string::npos;
    for (const char* total : {"Total images added", "Total images failed", "Grand total"})
        once = once && all.find(total) == all.rfind(total);
    if (!once) p("totals", "not once:", totals, "in:", all.substr(0, 400));
}

// Each frame's fields, its ring inside the border and on the grid, and with
// --alias images of identical pixels stored once (one page, one box); each
// page's size: without --fit the size given, with it within the maximum and
// of the shape, even the fallback when no size holds everything.
void checkFrames(Case& c, Found& p) {
    const int border = c.options.number("--border", 1);
    const auto grid = [&](const char* axis) { return std::max(c.options.number(axis), 1); };
    const auto json = [](Box b) { return Json{{"x", b.x}, {"y", b.y}, {"w", b.w}, {"h", b.h}}; };
    std::map<std::string, const Frame*> first;  // by the pixels shown
    for (const Frame& f : c.frames) {
        const Box r = f.box.grown(c.options.number("--extrude"));
        if (!Box::of(c.atlas(f)).grown(-border).holds(r) || r.x % grid("--grid-x") != 0 ||
            r.y % grid("--grid-y") != 0) {
            p("inside-border-on-grid", f.name, " with its ring at ", r, " in ", Box::of(c.atlas(f)),
              " leaves the border of ", border, " or starts off the grid");
        }
        if (!c.placed.count(f.name)) continue;  // a frame for an image that cannot be placed
        const Box& b = c.placed[f.name];
        const Box whole = Box::of(*c.sprites[f.name]);
        // Turned only when --rotate allows it, the frame keeping the upright size.
        compareFields(p, "frame-pixels", f.name, f.json,
                      {{"frame", json({f.box.x, f.box.y, b.w, b.h})},
                       {"rotated", f.rotated && c.options.has("--rotate")},
                       {"trimmed", !(b == whole)},
                       {"spriteSourceSize", json(b)},
                       {"sourceSize", {{"w", whole.w}, {"h", whole.h}}}});
        const Frame& a = *first.emplace(c.shown(f.name), &f).first->second;
        if (c.options.has("--alias") && (a.page != f.page || !(a.box == f.box)))
            p("alias-shared", a.name, " and ", f.name,
              " show the same pixels, stored twice: ", c.pages[a.page].stem, " ", a.box, ", ",
              c.pages[f.page].stem, " ", f.box);
    }
    const int maxW = c.options.number("--width", kFitMaximum),
              maxH = c.options.number("--height", kFitMaximum);
    for (const Page& page : c.pages) {
        const int w = page.atlas->width(), h = page.atlas->height();
        const bool pot = std::has_single_bit(unsigned(w)) && std::has_single_bit(unsigned(h));
        if (!c.options.has("--fit") ? w != maxW || h != maxH
                                    : w > maxW || h > maxH || (c.options.fit("pot") && !pot) ||
                                          (c.options.fit("square") && w != h))
            p("atlas-size", page.stem, " is ", w, "x", h, " for ", maxW, "x", maxH, " and --fit ",
              c.options.text("--fit", "not given"));
    }
}

// No two frames' rings overlap, but those of aliases share one box; the
// spacing keeps every other frame's ring off the right of and below each
// ring, where the ring and the spacing together fit the atlas.
void checkPairs(Case& c, Found& p) {
    const int spacing = c.options.number("--spacing", 1), ring = c.options.number("--extrude");
    for (const Frame& a : c.frames) {
        Box kept = a.box.grown(ring);
        if (kept.w + spacing <= c.atlas(a).width()) kept.w += spacing;
        if (kept.h + spacing <= c.atlas(a).height()) kept.h += spacing;
        for (const Frame& b : c.frames) {
            if (&a == &b || a.page != b.page) continue;
            const std::string both = cat(a.name, " at ", a.box, " and ", b.name, " at ", b.box);
            if (!(a.box == b.box) && kept.overlaps(b.box.grown(ring)))
                p("spacing", both, ": the second lies within the spacing of the first");
            if (a.name > b.name) continue;
            if (!(a.box == b.box) && a.box.grown(ring).overlaps(b.box.grown(ring)))
                p("no-overlap", both, " overlap with their rings");
            else if (a.box == b.box && !c.options.has("--alias"))
                p("no-overlap", both, " share a box without --alias");
            else if (a.box == b.box && c.shown(a.name) != c.shown(b.name))
                p("no-overlap", both, " share a box with different pixels");
        }
    }
}

// The colours (with alpha 0) of the sprite's pixels within box and `within`
// that are not transparent.
std::set<PixelValue> solidColours(const PixelImage& sprite, const Box& box, const Box& within) {
    std::set<PixelValue> found;
    everyPixel(box, [&](int x, int y) {
        const PixelValue v = within.holds(x, y) ? getPixel(sprite, x, y) : 0;
        if (v >> 24) found.insert(v & 0xFFFFFF);
        return true;
    });
    return found;
}

// The pixel with each colour channel times alpha / 255, rounded to the nearest.
PixelValue premultiplied(PixelValue v) {
    const double alpha = (v >> 24) / 255.0;
    PixelValue out = v & 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8)
        out |= static_cast<PixelValue>(std::lround((v >> shift & 0xFF) * alpha)) << shift;
    return out;
}

// Every pixel holds what it promises: inside a frame the source's pixel (a
// turned frame turned back; premultiplied with --premultiply), in its ring the frame's nearest edge
// pixel, outside every ring nothing. With --bleed a transparent pixel of a
// frame that shows any other stays transparent, in the colour of a
// neighbour that is not, or where none is, of some pixel of the frame that is not.
void checkPixels(Case& c, Found& p) {
    const int ring = c.options.number("--extrude");
    const bool premultiply = c.options.has("--premultiply");
    const bool bleed = c.options.has("--bleed") && !premultiply;
    std::map<std::string, std::set<PixelValue>> frameColours;  // by name, found once
    for (std::size_t page = 0; page < c.pages.size(); ++page) {
        const PixelImage& atlas = *c.pages[page].atlas;
        std::set<const char*> said;  // one pixel for each property and page
        everyPixel(Box::of(atlas), [&](int x, int y) {
            const auto f = std::find_if(c.frames.begin(), c.frames.end(), [&](const Frame& g) {
                return g.page == page && g.box.grown(ring).holds(x, y);
            });
            const char* property = f == c.frames.end()  ? "background"
                                   : f->box.holds(x, y) ? "frame-pixels"
                                                        : "extrusion";
            PixelValue want = 0;
            if (*property == 'e') {
                want = getPixel(atlas, std::clamp(x, f->box.x, f->box.x + f->box.w - 1),
                                std::clamp(y, f->box.y, f->box.y + f->box.h - 1));
            } else if (*property == 'f' && !c.placed.count(f->name)) {
                return true;  // a frame for an image that cannot be placed
            } else if (*property == 'f') {
                const Box& from = c.placed[f->name];
                const PixelImage& sprite = *c.sprites[f->name];
                // Turned clockwise: the image's top row is the block's right column.
                const int sx = f->rotated ? from.x + (y - f->box.y) : x - f->box.x + from.x;
                const int sy =
                    f->rotated ? from.y + (f->box.w - 1 - (x - f->box.x)) : y - f->box.y + from.y;
                want = getPixel(sprite, sx, sy);
                if (premultiply) want = premultiplied(want);
                if (bleed && want >> 24 == 0) {
                    auto all = frameColours.find(f->name);
                    if (all == frameColours.end())
                        all = frameColours.emplace(f->name, solidColours(sprite, from, from)).first;
                    const auto near = solidColours(sprite, {sx - 1, sy - 1, 3, 3}, from);
                    const std::set<PixelValue>& allowed = near.empty() ? all->second : near;
                    const PixelValue got = getPixel(atlas, x, y);
                    // A frame with nothing but transparent pixels stays as drawn.
                    if (!all->second.empty() && !allowed.count(got) && said.insert("bleed").second)
                        p("bleed", c.pages[page].stem, " (", x, ",", y, ") in ", f->name, " is ",
                          std::hex, got, ", not the colour of a nearest pixel that is not clear");
                    if (!all->second.empty()) return true;
                }
            }
            const PixelValue got = getPixel(atlas, x, y);
            if (got != want && said.insert(property).second)
                p(property, c.pages[page].stem, " (", x, ",", y, ") in ",
                  *property == 'b' ? "no frame" : f->name, " is ", std::hex, got, ", not ", want);
            return true;
        });
    }
}

// Another build of the files named, copied to a folder of their own ({in} in
// its command), against the case's pages `ours`: the same sizes, pixels and
// frames, less those of the images named `left`.
void compareBuild(Case& c, Found& p, const char* property, const std::vector<std::string>& names,
                  const Options& options, std::span<const Page> ours,
                  const std::set<std::string>& left = {}) {
    TempDir input, output, keep;
    for (const std::string& name : names) {
        fs::create_directories((input.path() / name).parent_path());
        fs::copy_file(c.input.path() / name, input.path() / name);
    }
    const Build r = build(input.path(), output.path(), options, keep.path());
    std::vector<Box> theirs, sizes;
    for (const Page& page : r.pages) theirs.push_back(Box::of(*page.atlas));
    for (const Page& page : ours) sizes.push_back(Box::of(*page.atlas));
    if (r.result.status > 1 || theirs != sizes)
        return p(property, r.command, " answered ", r.result.status, " with pages", listed(theirs),
                 ", this build", listed(sizes), ": ", r.result.err);
    for (std::size_t page = 0; page < ours.size(); ++page) {
        Json frames = ours[page].doc["frames"];
        for (const std::string& name : left) frames.erase(name);
        if (r.pages[page].bytes != ours[page].bytes || r.pages[page].doc["frames"] != frames)
            p(property, r.command, " drew other pixels or frames than ", ours[page].stem);
    }
}

// A fitted build is the fixed build of the size it found; each page is the
// build of its own files alone. A page's files alone order otherwise at
// random, and crop 2 joins the trims of other files: those are not compared.
// An image stored as an alias takes no room: with --alias the build equals,
// page for page and pixel for pixel, the build of the folder without the
// images whose pixels an earlier one has (earlier in name order, which both
// --sort name and --sort size follow for equal pixels; a random order over
// fewer files is another order, so it is not compared). Sizing included.
void checkRebuilds(Case& c, Found& p) {
    const bool pages = c.options.has("--pages"), random = c.options.at("--sort") == "random";
    const bool skip = pages && (random || c.options.at("--crop") == "2");
    for (std::size_t page = 0; c.options.sized() && !skip && page < c.pages.size(); ++page) {
        Options fixed = c.options;
        fixed.erase("--fit");
        fixed.erase("--pages");
        fixed["--width"] = std::to_string(c.pages[page].atlas->width());
        fixed["--height"] = std::to_string(c.pages[page].atlas->height());
        std::vector<std::string> names;
        for (const auto& [name, pixels] : c.sprites)
            if (!pages) names.push_back(name);
        for (const Frame& f : c.frames)
            if (pages && f.page == page) names.push_back(f.name);
        if (!names.empty())
            compareBuild(c, p, "fixed-rebuild", names, fixed, std::span(c.pages).subspan(page, 1));
    }
    std::set<std::string> seen, later;  // later: the images another has the pixels of
    for (const auto& [name, box] : c.placed)
        if (!seen.insert(c.shown(name)).second) later.insert(name);
    std::vector<std::string> rest;
    for (const auto& [name, pixels] : c.sprites)
        if (!later.count(name)) rest.push_back(name);
    if (c.options.has("--alias") && !random && !later.empty())
        compareBuild(c, p, "alias-takes-no-room", rest, c.options, c.pages, later);
}

// What the engine options add to the hash: each frame's pivot and anchor (its
// sprite data's, else --pivot's), its borders as given and Phaser's middle
// rectangle within the kept pixels; per page, the animations of the frame
// names that end in a number, two or more to a name; a warning for each
// sprite data key that names no image of the input.
void checkEngineData(Case& c, Found& p) {
    Json pivot;
    if (c.options.has("--pivot")) {
        const std::string& text = c.options.at("--pivot");
        const std::size_t comma = text.find(',');
        pivot = {{"x", std::stod(text.substr(0, comma))}, {"y", std::stod(text.substr(comma + 1))}};
    }
    for (const Frame& f : c.frames) {
        const Json given = c.spriteData.is_object() ? c.spriteData.value(f.name, Json()) : Json();
        Json want = {
            {"pivot", pivot}, {"anchor", pivot}, {"borders", nullptr}, {"scale9Borders", nullptr}};
        if (given.contains("pivot")) {
            want["pivot"] = want["anchor"] = {{"x", given["pivot"][0]}, {"y", given["pivot"][1]}};
        }
        if (given.contains("borders")) {
            const std::vector<int> b = given["borders"];
            want["borders"] = {{"left", b[0]}, {"top", b[1]}, {"right", b[2]}, {"bottom", b[3]}};
            const Json& kept = f.json["spriteSourceSize"];
            const Json& source = f.json["sourceSize"];
            const int x = kept["x"], y = kept["y"], w = kept["w"], h = kept["h"];
            const int sw = source["w"], sh = source["h"];
            // Borders are given in the file's pixels; the frame counts in the
            // resampled ones, rounded down.
            const double scale = c.options.scale();
            const auto scaled = [scale](int v) { return static_cast<int>(std::floor(v * scale)); };
            const int l = std::max(0, scaled(b[0]) - x), t = std::max(0, scaled(b[1]) - y);
            const int r = std::max(0, scaled(b[2]) - (sw - x - w)),
                      d = std::max(0, scaled(b[3]) - (sh - y - h));
            want["scale9Borders"] = {
                {"x", l}, {"y", t}, {"w", std::max(0, w - l - r)}, {"h", std::max(0, h - t - d)}};
        }
        compareFields(p, "engine-data", f.name, f.json, want);
    }
    for (std::size_t page = 0; page < c.pages.size(); ++page) {
        std::map<std::string, std::vector<std::pair<long, std::string>>> groups;
        // A base (not ending a folder), a separator, 1 to 9 digits, the extension.
        static const std::regex numbered(R"((.*[^/])[-_ ]([0-9]{1,9})\.[^.]*)");
        for (const Frame& f : c.frames)
            if (std::smatch m; f.page == page && std::regex_match(f.name, m, numbered))
                groups[m[1]].emplace_back(std::stol(m[2]), f.name);
        Json animations = Json::object();
        for (auto& [base, frames] : groups) {
            std::sort(frames.begin(), frames.end());
            for (const auto& frame : frames)
                if (frames.size() > 1) animations[base].push_back(frame.second);
        }
        const Json& doc = c.pages[page].doc;
        const Json got = doc.value("animations", Json());
        // phaser-multi writes no animations.
        if (!c.options.has("--animations") || animations.empty() || c.options.has("--format")
                ? !got.is_null()
                : got != animations)
            p("engine-data", c.pages[page].stem, "'s animations are ", got.dump(), ", not ",
              animations.dump());
    }
    if (!c.spriteData.is_object()) return;
    for (const auto& [key, values] : c.spriteData.items()) {
        const bool warned =
            c.result.err.find(cat("the sprite data names \"", key, "\"")) != std::string::npos;
        if (!c.expected.count(key) && !warned)
            p("engine-data", "the sprite data key ", key, " names no image, unwarned");
        if (c.placed.count(key) && warned)
            p("engine-data", "the sprite data key ", key, " names a placed image, yet warned");
    }
}

// Whether the build made its outputs.
bool built(const Case& c) {
    return !c.refused && (c.result.status == 0 || c.result.status == 1) && !c.placed.empty();
}

// Every property of a case; a case that must be refused or finds nothing is
// only checked for how it ran. A build that keeps a layout is no fresh build,
// so the rebuilds are compared only when asked.
void checkCase(Case& c, Found& found, bool rebuilds) {
    checkRun(c, found);
    if (!built(c)) return;
    for (const auto check : {checkReport, checkFrames, checkPairs, checkPixels, checkEngineData})
        check(c, found);
    if (rebuilds) checkRebuilds(c, found);
}

// A second build with the layout the first wrote, after one image of the
// folder got new pixels of the same size, was removed or was added: every
// promise but the rebuilds' still holds, the layout can be used, and unless
// the build says it repacked, every image whose placed size did not change
// lies where it lay (but for those that shared a box, whose leader may change).
void checkKeptLayout(Case& c, Dice& dice, Found& p) {
    Case next;
    fs::copy(c.input.path(), next.input.path(), fs::copy_options::recursive);
    fs::copy_file(c.keep.file("layout.json"), next.keep.file("layout.json"));
    auto one = c.sprites.begin();
    std::advance(one, dice.between(0, static_cast<int>(c.sprites.size()) - 1));
    std::string changed = one->first, what = changed + " removed";
    if (const int kind = dice.between(1, 3); kind == 2) {
        fs::remove(next.input.file(changed));
    } else {
        // New pixels keep the file's own size (with --scale, the sprites are resampled).
        const auto& file = c.options.has("--scale") ? c.sources.at(changed) : one->second;
        const int w = kind == 1 ? file->width() : dice.between(1, 40);
        const int h = kind == 1 ? file->height() : dice.between(1, 40);
        if (kind == 3) changed = "added.png";
        ImagePtr image = drawSprite(dice, w, h, false);
        EXPECT_EQ(SaveBitmapToFile(image.get(), next.input.file(changed)), 0);
        what = kind == 1 ? "new pixels in " + changed : changed + " added";
    }
    next.sprites = readSprites(next.input.path());
    next.options = c.options;
    next.spriteData = c.spriteData;
    scaleSprites(next);
    model(next);
    static_cast<Build&>(next) =
        build(next.input.path(), next.output.path(), next.options, next.keep.path());
    Found found;
    checkCase(next, found, false);
    const std::string& err = next.result.err;
    if (err.find("cannot be used") != std::string::npos)
        found("kept-layout", "the layout of the first build cannot be used: ", err.substr(0, 300));
    std::map<std::pair<std::size_t, std::string>, int> shares;  // by page and box
    for (const Frame& f : c.frames) ++shares[{f.page, cat(f.box)}];
    std::map<std::string, const Frame*> first;
    for (const Frame& f : c.frames) first[f.name] = &f;
    const auto sizeOf = [](const Case& k, const std::string& name) {
        const auto box = k.placed.find(name);
        return box == k.placed.end() ? std::pair(-1, -1) : std::pair(box->second.w, box->second.h);
    };
    for (const Frame& f : next.frames) {
        const auto was = first.find(f.name);
        if (err.find("repacked") != std::string::npos || f.name == changed || was == first.end() ||
            shares[{was->second->page, cat(was->second->box)}] > 1 ||
            sizeOf(c, f.name) != sizeOf(next, f.name) || sizeOf(c, f.name).first < 0)
            continue;
        if (was->second->page != f.page || !(was->second->box == f.box))
            found("kept-layout", f.name, " moved from ", c.pages[was->second->page].stem, " ",
                  was->second->box, " to ", next.pages[f.page].stem, " ", f.box);
    }
    for (const auto& [property, problems] : found)
        for (const std::string& problem : problems)
            p[property + " after " + what].push_back(problem + " (" + next.command + ")");
}

// ---- The run -------------------------------------------------------------

// Copies the case's folders and command to `to`.
void keepCase(const Case& c, const fs::path& to) {
    fs::remove_all(to);
    fs::create_directories(to);
    fs::copy(c.input.path(), to / "in", fs::copy_options::recursive);
    fs::copy(c.output.path(), to / "out", fs::copy_options::recursive);
    fs::copy(c.data.path(), to / "data", fs::copy_options::recursive);
    writeFile((to / "command").string(), c.command + "\n");
}

TEST(PackProperty, RandomFoldersAndOptionsKeepEveryPromise) {
    const auto seed =
        static_cast<std::uint32_t>(environmentNumber("TILVANE_PROPERTY_SEED", kDefaultSeed));
    const int cases = environmentNumber("TILVANE_PROPERTY_CASES", kDefaultCases);
    const int only = environmentNumber("TILVANE_PROPERTY_CASE", -1);
    const char* keep = std::getenv("TILVANE_PROPERTY_KEEP");
    int count = 0;
    for (int number = std::max(only, 0); number < (only >= 0 ? only + 1 : cases); ++number) {
        std::seed_seq sequence{seed, static_cast<std::uint32_t>(number)};
        Dice dice{std::mt19937(sequence)};
        Case c;
        c.sprites = writeFolder(dice, c.input);
        c.options = drawOptions(dice, c.sprites);
        // Borders in the sizes of the files, before they are resampled.
        drawSpriteData(dice, c);
        scaleSprites(c);
        model(c);
        static_cast<Build&>(c) = build(c.input.path(), c.output.path(), c.options, c.keep.path());
        ++count;

        Found found;
        checkCase(c, found, true);
        if (c.options.has("--keep-layout") && built(c)) checkKeptLayout(c, dice, found);
        for (const auto& [property, problems] : found) {
            std::string lines;
            for (std::size_t k = 0; k < problems.size() && k < 4; ++k)
                lines += "\n  " + problems[k];
            ADD_FAILURE() << "seed " << seed << " case " << number << ": " << property << lines
                          << "\n  " << c.command;
        }
        if (!found.empty() && keep && *keep) keepCase(c, fs::path(keep) / cat("case-", number));
    }
    EXPECT_GT(count, 0);
}

}  // namespace
}  // namespace tilvane::testing
