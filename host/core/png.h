// A PNG image from 24-bit pixels, for the host's screenshot. Platform-free; stored (uncompressed)
// deflate blocks keep it free of a compressor.
#pragma once

#include <cstdint>
#include <vector>

namespace qvhost {

// rgb holds height rows of width pixels, 3 bytes each (red, green, blue), top row first.
// Empty result when the sizes do not match or are 0.
std::vector<std::uint8_t> EncodePng(std::uint32_t width, std::uint32_t height, const std::vector<std::uint8_t>& rgb);

}  // namespace qvhost
