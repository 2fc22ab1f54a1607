#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "model/jobspec.h"

namespace tilvane {

// The block that may follow the settings file's 28 fields: the tag "TLVX", the
// payload's length (32 bits, little-endian, at most kMaxExtensionPayload),
// then the payload: UTF-8 lines "key=value\n". A reader that knows only the
// 28 fields ignores it.
inline constexpr std::size_t kMaxExtensionPayload = 65536;
inline constexpr std::size_t kExtensionHeaderSize = 8;

// What the bytes after the 28 fields held.
struct SettingsExtensions {
    // The entries in file order; a key given twice keeps its last value.
    std::vector<ExtensionEntry> entries;
    // Why bytes that are there are not a block that can be read (a bad tag, a
    // length past the end of the file, bad UTF-8, a line without "="); the
    // block then counts as absent. Empty when there is no block or it was read.
    std::string problem;
};

// Reads the block from the bytes that follow the 28 fields.
SettingsExtensions decodeExtensionBlock(const unsigned char* bytes, std::size_t size);

// The block's bytes; empty when there are no entries, or when they cannot be
// stored (extensionBlockProblem says why: callers ask it first).
std::string encodeExtensionBlock(const std::vector<ExtensionEntry>& entries);

// Why the entries cannot be stored as given (a key that is not a lower-case
// option name, a value with a line break or a NUL, a payload longer than the
// block holds); empty when they can.
std::optional<std::string> extensionBlockProblem(const std::vector<ExtensionEntry>& entries);

}  // namespace tilvane
