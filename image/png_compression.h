#pragma once

namespace tilvane {

// How hard the PNG writer compresses. Every choice stores the same 8-bit RGBA
// pixels; they trade time for file size. standard is what the dialog uses.
//   fast:     the cheapest row filters, our own deflate, on every core;
//   standard: every row filter, chosen row by row, our own deflate, on every core;
//   small:    every row filter and libdeflate's near-optimal parsing, on every core.
enum class PngCompression { fast, standard, small };

}  // namespace tilvane
