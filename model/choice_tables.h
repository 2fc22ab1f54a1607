#pragma once

#include <array>
#include <cstdint>
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

// Read as input and written as the atlas beyond the described lists above
// (which the dialog's file choosers offer): the pipeline takes them from any face.
inline constexpr std::array<std::string_view, 1> kExtraImageExtensions = {".webp"};

// The index is the build's text-file type: 0 plain text, 1 XML, 2 JSON, 3 CSS.
inline constexpr std::array<std::string_view, 4> kTextFileExtensions = {".txt", ".xml", ".json",
                                                                        ".css"};
inline constexpr std::array<std::string_view, 4> kTextFileDescriptions = {
    "Text Files", "XML Files", "JSON Files", "CSS Files"};

// The enums below name the entries of their tables. The settings keep plain
// int32 indices (a typed-into drop-down box gives -1), so every use has to
// treat a value outside the enum as its own case.
enum TextFileType : int { kTextPlain = 0, kTextXml = 1, kTextJson = 2, kTextCss = 3 };

inline constexpr std::array<std::string_view, 5> kRectStyles = {
    "= \"x  y  width  height\"", "= \"x,  y,  width,  height\"", "= \"left  top  right  bottom\"",
    "= \"left,  top,  right,  bottom\"", "= {u1,  v1,  u2,  v2}"};

// textFormat: the numbers each rect style writes. The comma styles differ from
// their twins only in the plain text file.
enum RectStyle : std::int32_t {
    kRectPosition = 0,       // x y width height
    kRectPositionComma = 1,  // x, y, width, height
    kRectEdges = 2,          // left top right bottom (inclusive)
    kRectEdgesComma = 3,     // left, top, right, bottom
    kRectUv = 4,             // u1, v1, u2, v2: the edges divided by the output size
};
static_assert(kRectStyles.size() == kRectUv + 1);

inline constexpr std::array<std::string_view, 3> kCropOptions = {"No", "Yes",
                                                                 "Crop all to same dimension"};

// cropMode.
enum CropMode : std::int32_t { kCropNone = 0, kCropEach = 1, kCropToUnion = 2 };
static_assert(kCropOptions.size() == kCropToUnion + 1);

inline constexpr std::array<std::string_view, 4> kChangeCaseOptions = {
    "No", "Make UPPER case", "Make lower case", "Tilvane v1.0.1"};

// changeCase. kCaseNamesUpper upper-cases the entry names but leaves the prefix
// and postfix as typed.
enum NameCase : std::int32_t {
    kCaseUnchanged = 0,
    kCaseUpper = 1,
    kCaseLower = 2,
    kCaseNamesUpper = 3,
};
static_assert(kChangeCaseOptions.size() == kCaseNamesUpper + 1);

inline constexpr std::array<std::string_view, 3> kSortOrders = {"Alphabetical", "Image Size (best)",
                                                                "Random"};

// sortOrder, in the order the radio buttons stand.
enum SortOrder : std::int32_t { kSortAlphabetical = 0, kSortBySize = 1, kSortRandom = 2 };
static_assert(kSortOrders.size() == kSortRandom + 1);

}  // namespace tilvane
