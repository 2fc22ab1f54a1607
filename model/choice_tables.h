#pragma once

#include <array>
#include <span>
#include <string_view>

namespace tilvane {

// The fixed lists that give options their allowed values and display texts. An
// option that picks from a table stores the zero-based index of the entry.
// Extensions are lower case with their leading dot.
using ChoiceTable = std::span<const std::string_view>;

inline constexpr std::array<std::string_view, 11> kInputExtensions = {
    ".tif", ".png", ".jpg", ".bmp", ".tga", ".cel", ".rgb", ".gif", ".psd", ".iff", ".pcx"};

inline constexpr std::array<std::string_view, 6> kOutputImageExtensions = {".tif", ".png", ".jpg",
                                                                           ".bmp", ".rgb", ".tga"};
inline constexpr std::array<std::string_view, 6> kOutputImageDescriptions = {
    "TIFF Images", "PNG Images", "JPEG Images", "Windows BMP Images", "RGB Images", "Targa Images"};

// The index is the build's text-file type: 0 plain text, 1 XML, 2 JSON, 3 CSS.
inline constexpr std::array<std::string_view, 4> kTextFileExtensions = {".txt", ".xml", ".json",
                                                                        ".css"};
inline constexpr std::array<std::string_view, 4> kTextFileDescriptions = {
    "Text Files", "XML Files", "JSON Files", "CSS Files"};

enum TextFileType : int { kTextPlain = 0, kTextXml = 1, kTextJson = 2, kTextCss = 3 };

inline constexpr std::array<std::string_view, 5> kRectStyles = {
    "= \"x  y  width  height\"", "= \"x,  y,  width,  height\"", "= \"left  top  right  bottom\"",
    "= \"left,  top,  right,  bottom\"", "= {u1,  v1,  u2,  v2}"};

inline constexpr std::array<std::string_view, 3> kCropOptions = {"No", "Yes",
                                                                 "Crop all to same dimension"};

inline constexpr std::array<std::string_view, 4> kChangeCaseOptions = {
    "No", "Make UPPER case", "Make lower case", "Tilvane v1.0.1"};

inline constexpr std::array<std::string_view, 3> kSortOrders = {"Alphabetical", "Image Size (best)",
                                                                "Random"};

}  // namespace tilvane
