#include "png_kind.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <stdexcept>
#include <string_view>

namespace {

constexpr std::array<std::uint8_t, 8> signature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

std::uint32_t be32(std::span<const std::uint8_t> b, std::size_t at) {
  return std::uint32_t{b[at]} << 24 | std::uint32_t{b[at + 1]} << 16 | std::uint32_t{b[at + 2]} << 8 | b[at + 3];
}

}  // namespace

PngKind read_png_kind(std::span<const std::uint8_t> file) {
  if (file.size() < signature.size() || !std::equal(signature.begin(), signature.end(), file.begin()))
    throw std::runtime_error("no PNG signature");

  PngKind kind;
  bool seen_idat = false;
  std::size_t pos = signature.size();
  for (bool first = true;; first = false) {
    if (file.size() - pos < 12) throw std::runtime_error("truncated chunk header");
    std::uint32_t length = be32(file, pos);
    if (file.size() - pos - 12 < length) throw std::runtime_error("truncated chunk");
    auto type_and_data = file.subspan(pos + 4, 4 + std::size_t{length});
    auto data = type_and_data.subspan(4);
    std::string_view type(reinterpret_cast<const char*>(type_and_data.data()), 4);
    std::uint32_t crc = be32(file, pos + 8 + length);
    if (crc != crc32(0, type_and_data.data(), static_cast<uInt>(type_and_data.size()))) kind.crcs_valid = false;

    if (first != (type == "IHDR")) throw std::runtime_error("IHDR is not the first chunk");
    if (type == "IHDR") {
      if (length != 13) throw std::runtime_error("IHDR of the wrong length");
      kind.width = be32(data, 0);
      kind.height = be32(data, 4);
      kind.bit_depth = data[8];
      kind.colour_type = data[9];
      kind.interlace = data[12];
    } else if (type == "sRGB") {
      kind.srgb_before_idat = !seen_idat && length == 1 && data[0] == 0;
    } else if (type == "IDAT") {
      seen_idat = true;
    } else if (type == "IEND") {
      if (pos + 12 != file.size()) throw std::runtime_error("bytes after IEND");
      return kind;
    }
    pos += 12 + std::size_t{length};
  }
}
