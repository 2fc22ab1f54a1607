#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli/pack_run.h"
#include "image/image_file.h"
#include "tests/support/temp_dir.h"

namespace tilvane::testing {

// What a run of tilvane-pack answered: exit status, stdout and stderr.
struct PackResult {
    int status = -1;
    std::string out;
    std::string err;
};

// tilvane-pack run in this process on args (less the program's name), with
// neither stream a terminal.
inline PackResult pack(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    PackConsole console{out, err, false, nullptr};
    const int status = runPack(args, console);
    return {status, out.str(), err.str()};
}

// A w x h sprite, opaque with colours that follow the position inside a
// transparent border `border` pixels wide, saved to path.
inline void writeSprite(const std::string& path, int w, int h, int border = 0) {
    ImagePtr image = createPixelImage(w, h);
    ASSERT_TRUE(image) << path;
    for (int y = border; y + border < h; ++y) {
        for (int x = border; x + border < w; ++x)
            setPixel(*image, x, y, packPixel(x * 7, y * 5, 90, 255));
    }
    ASSERT_EQ(SaveBitmapToFile(image.get(), path), 0) << path;
}

// Arguments that pack input into output's atlas.png and atlas.txt, then more.
inline std::vector<std::string> packArgs(const std::string& input, const TempDir& output,
                                         const std::vector<std::string>& more) {
    std::vector<std::string> args = {
        "--input", input, "--image", output.file("atlas.png"), "--text", output.file("atlas.txt")};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

}  // namespace tilvane::testing
