// What kind of PNG a file is: its IHDR fields and whether an sRGB chunk precedes the image
// data. Hand-written because only these header fields are needed, not a decoder.
#pragma once

#include <cstdint>
#include <span>

struct PngKind {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  int bit_depth = 0;
  int colour_type = 0;
  int interlace = 0;
  bool srgb_before_idat = false;  // an sRGB chunk, rendering intent 0, before the first IDAT
  bool crcs_valid = true;         // every chunk's CRC matches
};

// Throws std::runtime_error when the bytes are not a complete chunk sequence from IHDR to IEND.
PngKind read_png_kind(std::span<const std::uint8_t> file);
