#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

struct stat;

namespace tilvane {

// Writes one output file without ever destroying what the caller did not ask
// to write. open() decides where the bytes go, from what stands at the path:
//  - a regular file, or nothing: the bytes go to a temporary file in the
//    target's folder, which commit() puts in place with rename, so the target
//    is replaced whole (keeping its permissions and, where allowed, its owner)
//    or left as it was. The temporary file is an unnamed O_TMPFILE where the
//    file system offers one (it vanishes with the process, whatever ends it)
//    and gets a short hidden name only for the rename; elsewhere it is a short
//    hidden name from the start, removed on every failure and when SIGINT,
//    SIGTERM or SIGHUP ends the process (not SIGKILL, which nothing survives).
//  - a symbolic link: followed; the file it points to is the target (a link to
//    nothing creates the file where it points) and the link stays.
//  - a character or block device or a FIFO (/dev/null, /dev/stdout, a pipe):
//    written straight through, with no temporary file; opening a FIFO waits
//    for its reader.
//  - a folder: refused (EISDIR); nothing is written.
// The first failure's errno is kept (error()); every later step then fails.
// The first temporary name installs, once per process, a handler for each of
// SIGINT, SIGTERM and SIGHUP whose action is still the default: it removes the
// pending names and raises the signal again with its default action. A
// signal the program handles or ignores itself is left alone.
class OutputFile {
public:
    // How a regular file's replacement is staged. namedTemporary skips the
    // O_TMPFILE attempt, so the fallback can be exercised where O_TMPFILE works.
    enum class Staging { automatic, namedTemporary };

    explicit OutputFile(std::string targetPath, Staging staging = Staging::automatic);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Opens the destination. False, with error() set, when it cannot be.
    bool open();
    // The open stream (binary; readable and seekable where the destination
    // is, for libraries that seek back), or null before open() and after
    // commit(). Its write, read and seek errors land in error().
    std::FILE* stream() { return stream_; }
    // Writes all bytes; false (and the file is doomed) on any short write.
    bool write(const void* data, std::size_t size);
    bool write(const std::string& text) { return write(text.data(), text.size()); }
    // Dooms the file with a cause (an errno value; 0 counts as EIO), for
    // writers that detect an error the stream cannot see. Only the first
    // cause is kept.
    void fail(int error);
    // Flushes, syncs and puts the file in place (or, written straight through,
    // closes it). False on any failure since open(), in which case a temporary
    // file is removed and the target left as it was. A file an OutputSet staged
    // is committed by the set, never by this.
    bool commit();

    // The errno value of the first failure; 0 while there has been none.
    int error() const { return error_; }
    const std::string& targetPath() const { return target_; }

private:
    friend struct OutputStreamCallbacks;
    friend class OutputSet;

    // How placeRevocably() put the file in place, which says how to undo it.
    enum class Placement { none, exchanged, created, replaced };

    // commit() in steps, for OutputSet: finish() does what can fail for the
    // file's own reasons (flush, and sync unless the set syncs the whole file
    // system at once) and leaves the stream open; place() does the rest, as
    // commit() always did. Each discards the file on failure.
    bool finish(bool sync = true);
    // For a set, once every byte is written: flushes and lets the stream go,
    // keeping the descriptor. A process's streams are one list that each
    // open and close walks, so thousands held open would cost a walk each.
    bool park();
    bool place();
    // For a set: sends a spooled file's bytes to its device or FIFO.
    bool placeSpool();
    // For a set: puts a replacement in place so that undoPlacement() can
    // bring the old file back, swapping the two where the file system can.
    bool placeRevocably();
    // 0 when the target is as before placeRevocably(), else why it is not.
    int undoPlacement();
    // Drops the old file a placement kept for undoing, and makes the rename
    // durable unless the set syncs each folder once itself.
    void settle(bool sync = true);
    bool sendSpool();
    void closeStream();
    void syncFolder();

    bool failWith(int error);
    bool openReplacement(const std::string& path, const struct stat* existing);
    bool openNamedTemporary(const std::string& folder, unsigned mode);
    bool openStream(const char* mode);
    bool nameUnnamedTemporary();
    void discard();

    std::string target_;
    Staging staging_;
    // Where rename puts the file; empty when written straight through.
    std::string finalPath_;
    // The temporary file's name while it has one, and its place in the list
    // of names that a terminating signal removes.
    std::string temp_;
    int tempSlot_ = -1;
    int fd_ = -1;
    // An O_TMPFILE file, named only at commit().
    bool unnamed_ = false;
    // Set by OutputSet before open(): a device or FIFO is written at commit
    // from a copy in memory, not as the bytes come.
    bool spoolDevice_ = false;
    // The bytes wait in an anonymous memory file for the device at target_.
    bool spooled_ = false;
    // The stream has gone and fd_ stays (park()); parking_ while it goes.
    bool parked_ = false;
    bool parking_ = false;
    Placement placement_ = Placement::none;
    std::FILE* stream_ = nullptr;
    int error_ = 0;
};

// The file a write to path puts in place: path itself when it names a
// regular file or nothing, the end of the chain when it names a symbolic link
// (the file it points to, or where a link to nothing points). Empty for a
// device, FIFO or folder, which nothing replaces, and when the chain loops.
std::string replacedFilePath(const std::string& path);

// Writes the bytes to path through an OutputFile. 0 when the destination now
// holds exactly them; else the errno value of the cause.
int writeOutputFile(const std::string& path, const void* data, std::size_t size,
                    OutputFile::Staging staging = OutputFile::Staging::automatic);

}  // namespace tilvane
