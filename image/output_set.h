#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "image/output_file.h"

namespace tilvane {

// The output files of one run, put in place together: either every file
// replaces its old one, or none does. stage() opens each output as an
// OutputFile (symbolic links followed, a folder refused, 255-byte names and
// the clean-up on SIGINT, SIGTERM and SIGHUP as there); the caller writes its
// bytes into it and leaves it uncommitted; commitAll() then:
//  1. finishes every file (flush, sync). Any failure so far, a file's own or
//     its open's, ends the commit: every staged file is dropped and every old
//     file stays. Each failure is reported.
//  2. sends each device or FIFO output its bytes, in staging order. A device
//     cannot be replaced nor written to in part and then taken back, so its
//     bytes wait in memory (an anonymous memory file, readable and seekable
//     for encoders that seek back) from stage() to here, and a device gets
//     nothing from a run that failed to write any of its files. The device
//     is checked for writing at stage(); it is opened only here, so a FIFO
//     waits for its reader here. A failure here (ENOSPC from /dev/full, EPIPE
//     from a reader gone, which does not raise SIGPIPE) ends the commit with
//     no regular file replaced; a device that came before it has its bytes.
//  3. puts each regular file in place, in staging order, swapping it with the
//     old one (renameat2 RENAME_EXCHANGE) so the old one can come back. When a
//     placement fails, those before it are undone and every old file is as it
//     was. Where the file system cannot swap, the file replaces its old one
//     by rename, which cannot be undone: a later failure leaves it replaced
//     and reports it too, with ENOTSUP.
//  4. removes the old files and syncs the folders.
// A placement fails only for what no write can foresee (a folder put at the
// path since stage(), a file system turned read-only), so step 3 is rarely
// where a set fails. The set guards only its own steps: another program
// writing the same paths at once is kept out by holding a FolderLock around
// commitAll() (and whatever else must see the run's files together).
// A terminating signal during commitAll() leaves no temporary file and every
// output either old or new; a set it interrupts in step 3 can have both.
class OutputSet {
public:
    struct Failure {
        std::string path;
        int error = 0;
    };

    OutputSet() = default;
    // Drops every file staged and not committed: the old files stay.
    ~OutputSet() = default;
    OutputSet(const OutputSet&) = delete;
    OutputSet& operator=(const OutputSet&) = delete;

    // Opens an output at path and adds it to the set. The file stays valid as
    // long as the set; when it could not be opened its error() tells why, its
    // writes fail, and commitAll() will report it. Each path once per set.
    // The file staged before is taken as complete: its stream is let go (a set
    // of thousands of files holds no thousands of streams), so write each file
    // whole before staging the next.
    OutputFile& stage(const std::string& path,
                      OutputFile::Staging staging = OutputFile::Staging::automatic);

    // Puts the files staged since the last commitAll() in place, as above.
    // True when every one now holds its new bytes; false when none replaced
    // its old file (but for devices already sent and placements that could not
    // be undone), failures() then telling why.
    bool commitAll();

    // What the last commitAll() found, one entry per failed output in staging
    // order: its path as staged and the errno of the cause (an output whose
    // placement was undone only because of another's failure is not listed).
    const std::vector<Failure>& failures() const { return failures_; }

    // The staged paths, in staging order: what a FolderLock is taken for.
    std::vector<std::string> paths() const;

private:
    std::vector<std::unique_ptr<OutputFile>> files_;
    std::size_t firstPending_ = 0;
    std::vector<Failure> failures_;
};

}  // namespace tilvane
