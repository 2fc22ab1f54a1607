#include "image/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace tilvane {

namespace {

std::string folderPart(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string namePart(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The mode a newly created file would get, or the target's own when it exists,
// so that replacing a file keeps its permissions.
mode_t modeForTarget(const std::string& target) {
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) return st.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

OutputFile::OutputFile(std::string targetPath) : target_(std::move(targetPath)) {}

OutputFile::~OutputFile() {
    discard();
}

bool OutputFile::open() {
    if (stream_ || target_.empty()) return false;
    std::string pattern = folderPart(target_) + "." + namePart(target_) + ".XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const int fd = ::mkstemp(buffer.data());
    if (fd < 0) return false;
    temp_.assign(buffer.data());
    ::fchmod(fd, modeForTarget(target_));
    stream_ = ::fdopen(fd, "w+b");
    if (!stream_) {
        ::close(fd);
        ::unlink(temp_.c_str());
        temp_.clear();
        return false;
    }
    failed_ = false;
    return true;
}

bool OutputFile::write(const void* data, std::size_t size) {
    if (!stream_) return false;
    if (size != 0 && std::fwrite(data, 1, size, stream_) != size) failed_ = true;
    return !failed_;
}

bool OutputFile::commit() {
    if (!stream_) return false;
    bool ok = !failed_ && std::fflush(stream_) == 0 && !std::ferror(stream_);
    ok = ok && ::fsync(::fileno(stream_)) == 0;
    const bool closed = std::fclose(stream_) == 0;
    stream_ = nullptr;
    ok = ok && closed && ::rename(temp_.c_str(), target_.c_str()) == 0;
    if (!ok) {
        ::unlink(temp_.c_str());
        temp_.clear();
        return false;
    }
    temp_.clear();
    // Make the rename itself durable; a failure here leaves a complete file.
    const std::string folder = folderPart(target_);
    const int dirFd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

void OutputFile::discard() {
    if (stream_) {
        std::fclose(stream_);
        stream_ = nullptr;
    }
    if (!temp_.empty()) {
        ::unlink(temp_.c_str());
        temp_.clear();
    }
}

bool writeFileAtomically(const std::string& path, const void* data, std::size_t size) {
    OutputFile file(path);
    return file.open() && file.write(data, size) && file.commit();
}

}  // namespace tilvane
