// Reads a compiled Windows resource file (.res) and the version block inside it.
// Hand-written because no Debian library reads .res files (wrestool reads PE files only).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace res {

// A resource type or name: an ordinal (0xFFFF prefix in the file) or a UTF-16 string.
using Id = std::variant<std::uint16_t, std::u16string>;

struct Resource {
  Id type;
  Id name;
  std::uint16_t language = 0;
  std::vector<std::uint8_t> data;
};

// The records after the leading empty one, in file order. Throws std::runtime_error on a
// malformed file.
std::vector<Resource> read_resources(std::span<const std::uint8_t> file);

// One node of a VS_VERSIONINFO tree: key, type (1 text, 0 binary), value and children.
// A text value is kept as UTF-16 without its terminating NUL.
struct VersionNode {
  std::u16string key;
  std::uint16_t type = 0;
  std::vector<std::uint8_t> value;
  std::u16string text;
  std::vector<VersionNode> children;
};

// Parses the data of an RT_VERSION resource. Throws std::runtime_error when malformed.
VersionNode read_version(std::span<const std::uint8_t> data);

}  // namespace res
