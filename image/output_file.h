#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace tilvane {

// Writes a file so that the target is either replaced whole or left as it was:
// the data goes to a temporary file in the target's folder, which commit()
// flushes, syncs, closes and renames over the target. Destroying an uncommitted
// OutputFile removes the temporary file; the target is never touched.
class OutputFile {
public:
    explicit OutputFile(std::string targetPath);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the temporary file. False when the folder cannot be written.
    bool open();
    // The open temporary file (read and write, binary), or null before open().
    std::FILE* stream() { return stream_; }
    // Writes all bytes; false (and the file is doomed) on any short write.
    bool write(const void* data, std::size_t size);
    bool write(const std::string& text) { return write(text.data(), text.size()); }
    // Marks the file as failed, so commit() refuses it; for writers that detect
    // an error of their own.
    void fail() { failed_ = true; }
    // Flushes, syncs, closes and renames over the target. False on any error
    // seen since open(), in which case the temporary file is removed.
    bool commit();

    const std::string& targetPath() const { return target_; }

private:
    void discard();

    std::string target_;
    std::string temp_;
    std::FILE* stream_ = nullptr;
    bool failed_ = false;
};

// Writes the bytes to path through an OutputFile; true when the target now holds
// exactly them.
bool writeFileAtomically(const std::string& path, const void* data, std::size_t size);

}  // namespace tilvane
