#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "model/job_settings.h"
#include "settings/extension_block.h"

namespace tilvane {

// The settings file: 28 fields with no header, 20552 bytes. Text fields are
// 2048-byte blocks (at most 2047 bytes of text, zero-filled, byte 2047 always
// zero); integers are 4 bytes little-endian whatever the host.
inline constexpr std::size_t kSettingsFileSize = 20552;
inline constexpr std::size_t kSettingsTextBlock = 2048;

// Reads the file into the 28 stored fields. A field that does not lie wholly
// inside the file keeps its value; a file that cannot be opened changes
// nothing. No value is checked or clamped. Silent in every case. When asked,
// *extensions receives the extension block that follows the fields.
void loadSettingsFile(JobSettings& settings, const std::string& path,
                      SettingsExtensions* extensions = nullptr);

// Writes the 28 stored fields through an OutputFile: the file is replaced
// whole or not at all. A failure is silent and leaves any previous file as it
// was. Returns whether the file was written, for callers that care; on false,
// *error (when given) receives the errno of the cause.
// The extension block follows the fields when there are entries.
bool saveSettingsFile(const JobSettings& settings, const std::string& path, int* error = nullptr,
                      const std::vector<ExtensionEntry>& extensions = {});

// Why the settings would not be saved whole: the first text field, in file
// order, longer than its block keeps ("the output image path is 3000 bytes; the
// settings file holds at most 2047"). Empty when every text fits. A longer
// text is saved cut to its first 2047 bytes, which may name another file.
std::optional<std::string> fieldTooLong(const JobSettings& settings);

// The bytes saveSettingsFile writes: the 28 fields, then the extension block
// when there are entries.
std::string encodeSettings(const JobSettings& settings,
                           const std::vector<ExtensionEntry>& extensions = {});
// Applies the fields that lie wholly inside the bytes; when asked, reads the
// extension block from the bytes after them.
void decodeSettings(JobSettings& settings, const unsigned char* bytes, std::size_t size,
                    SettingsExtensions* extensions = nullptr);

// "Settings.cfg" in the given folder (which ends with a separator).
std::string settingsFileIn(const std::string& folder);

// Why the file is not one the Load Settings command takes: it cannot be read,
// it is shorter than the 28 fields, or a text field's block does not end in a
// zero byte (as every saved one does). Empty when it is a settings file.
std::optional<std::string> notASettingsFile(const std::string& path);

}  // namespace tilvane
