#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tilvane::codecs {

// A deflate (RFC 1951) compressor made for filtered PNG rows of 4-byte pixels:
// it looks for matches only at pixel starts and only whole pixels long, which
// finds the runs of transparency and repeated sprites an atlas holds at a
// fraction of a general matcher's cost, and codes every block with its own
// Huffman tables.
//
// data holds whole rows of rowBytes bytes each (the filter byte, then the
// pixels; rowBytes - 1 a multiple of 4). The rows from historyBytes on are
// compressed and appended to out; the rows before it (whole rows too) are
// already in the stream and only serve as the window matches reach back into.
// The blocks written are never final. With last false the output ends with an
// empty stored block, so it stops on a byte boundary and the next band's
// output simply follows it; with last true it ends with an empty final block,
// closing the stream. False (out then unspecified) when data is not laid out
// so or memory runs out. Never throws.
bool deflateScanlines(std::span<const std::uint8_t> data, std::size_t historyBytes,
                      std::size_t rowBytes, bool last, std::vector<std::uint8_t>& out);

}  // namespace tilvane::codecs
