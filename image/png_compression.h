#pragma once

namespace tilvane {

// How hard the PNG writer compresses. Every choice stores the same 8-bit RGBA
// pixels; they trade time for file size. standard is what the dialog uses.
//   fast:     Sub or Up per row (by the sum of distances), our own deflate;
//   standard: None, Sub, Up or Paeth per row (by an entropy estimate), our own
//             deflate;
//   small:    any of the five filters per row (by a finer estimate) and
//             libdeflate's near-optimal parsing, several times slower.
// All three compress bands of rows on every core.
enum class PngCompression { fast, standard, small };

}  // namespace tilvane
