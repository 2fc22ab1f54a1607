#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
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

// tilvane-pack run in this process on args (less the program's name); on a
// terminal, its stderr is 60 columns wide.
inline PackResult pack(const std::vector<std::string>& args, bool terminal = false) {
    std::ostringstream out, err;
    PackConsole console{out, err, terminal, [] { return 60; }};
    const int status = runPack(args, console);
    return {status, out.str(), err.str()};
}

// text quoted for the shell.
inline std::string quoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Runs the command through the shell in folder (this process's own when
// empty), stdout and stderr into files (so neither is a terminal), stdin empty,
// and the built tilvane-pack first on the PATH. The status is -1 when killed.
inline PackResult run(const std::vector<std::string>& command, const std::string& folder = "") {
    TempDir capture;
    std::string line =
        "PATH=" + quoted(std::filesystem::path(TILVANE_PACK_PATH).parent_path().string()) +
        ":\"$PATH\" && cd " + quoted(folder.empty() ? "." : folder) + " &&";
    for (const std::string& arg : command) line.append(" ").append(quoted(arg));
    line += " </dev/null >" + quoted(capture.file("out")) + " 2>" + quoted(capture.file("err"));
    const int status = std::system(line.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(capture.file("out")),
            readFile(capture.file("err"))};
}

// A w x h sprite, opaque with colours that follow the position inside a
// transparent border `border` pixels wide, saved to path.
inline void writeSprite(const std::string& path, int w, int h, int border = 0) {
    ImagePtr image = createPixelImage(w, h);
    ASSERT_TRUE(image) << path;
    for (int y = border; y + border < h; ++y)
        for (int x = border; x + border < w; ++x)
            setPixel(*image, x, y, packPixel(x * 7, y * 5, 90, 255));
    ASSERT_EQ(SaveBitmapToFile(image.get(), path), 0) << path;
}

}  // namespace tilvane::testing
