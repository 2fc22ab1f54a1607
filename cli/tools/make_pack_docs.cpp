// Makes tilvane-pack's manual page and shell completions from its option
// table, so that they list exactly the options --help lists.
//
//   tilvane-pack-docs <version> <output folder>
//
// Writes tilvane-pack.1, tilvane-pack.bash, _tilvane-pack (zsh) and
// tilvane-pack.fish into the folder. Exits 1 when a file cannot be written.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "cli/option_docs.h"

namespace {

bool writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) std::fprintf(stderr, "tilvane-pack-docs: cannot write %s\n", path.c_str());
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: tilvane-pack-docs VERSION OUTPUT_FOLDER\n");
        return 1;
    }
    // The defaults under the home folder are shown for any reader, not for
    // whoever ran the build.
    ::setenv("HOME", "~", 1);
    const tilvane::PackOptionTable table = tilvane::packOptionTable();
    const std::string folder = std::string(argv[2]) + "/";
    const bool written =
        writeFile(folder + "tilvane-pack.1", tilvane::packManPage(table, argv[1])) &&
        writeFile(folder + "tilvane-pack.bash", tilvane::packBashCompletion(table)) &&
        writeFile(folder + "_tilvane-pack", tilvane::packZshCompletion(table)) &&
        writeFile(folder + "tilvane-pack.fish", tilvane::packFishCompletion(table));
    return written ? 0 : 1;
}
