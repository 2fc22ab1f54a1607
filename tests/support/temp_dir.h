#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

namespace tilvane::testing {

// A fresh folder under the system's temporary folder, removed with everything in
// it when the object goes.
class TempDir {
public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "tilvane-test-XXXXXX").string();
        if (::mkdtemp(pattern.data())) path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;  // an empty path (mkdtemp failed) removes nothing
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The folder with a trailing separator, as folder settings hold it.
    std::string folder() const { return path_.string() + "/"; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Every entry under the folder with its bytes ("<folder>" for a folder, "-> "
// and the target for a link, "<special>" for a FIFO, socket or device, which is
// not read), so a test can tell that nothing was written.
inline std::map<std::string, std::string> folderSnapshot(const std::filesystem::path& folder) {
    std::map<std::string, std::string> entries;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder)) {
        const std::string path = e.path().string();
        if (e.is_symlink()) {
            entries[path] = "-> " + std::filesystem::read_symlink(e.path()).string();
        } else {
            entries[path] = e.is_directory()      ? "<folder>"
                            : e.is_regular_file() ? readFile(path)
                                                  : "<special>";
        }
    }
    return entries;
}

}  // namespace tilvane::testing
