#include "res_reader.h"

#include <stdexcept>

namespace res {
namespace {

// Little-endian reads with bounds checks; every field of a .res is little-endian.
class Cursor {
 public:
  Cursor(std::span<const std::uint8_t> bytes, std::size_t pos) : bytes_(bytes), pos_(pos) {}

  std::size_t pos() const { return pos_; }

  std::uint16_t u16() {
    need(2);
    auto v = static_cast<std::uint16_t>(bytes_[pos_] | bytes_[pos_ + 1] << 8);
    pos_ += 2;
    return v;
  }

  std::uint32_t u32() {
    std::uint32_t low = u16();
    return low | static_cast<std::uint32_t>(u16()) << 16;
  }

  std::u16string sz() {
    std::u16string s;
    for (std::uint16_t c = u16(); c != 0; c = u16()) s.push_back(static_cast<char16_t>(c));
    return s;
  }

  Id id() {
    need(2);
    if (bytes_[pos_] == 0xFF && bytes_[pos_ + 1] == 0xFF) {
      pos_ += 2;
      return u16();
    }
    return sz();
  }

  std::vector<std::uint8_t> take(std::size_t n) {
    need(n);
    auto first = bytes_.begin() + static_cast<std::ptrdiff_t>(pos_);
    pos_ += n;
    return {first, first + static_cast<std::ptrdiff_t>(n)};
  }

  // Every record and version node starts on a 4-byte boundary.
  void align4() { pos_ = (pos_ + 3) & ~std::size_t{3}; }

 private:
  void need(std::size_t n) const {
    if (pos_ > bytes_.size() || bytes_.size() - pos_ < n) throw std::runtime_error("truncated resource data");
  }

  std::span<const std::uint8_t> bytes_;
  std::size_t pos_;
};

constexpr std::size_t empty_record_size = 32;

}  // namespace

std::vector<Resource> read_resources(std::span<const std::uint8_t> file) {
  Cursor head(file, 0);
  if (head.u32() != 0 || head.u32() != empty_record_size) throw std::runtime_error("no empty leading record");

  std::vector<Resource> resources;
  std::size_t pos = empty_record_size;
  while (pos < file.size()) {
    Cursor c(file, pos);
    std::uint32_t data_size = c.u32();
    std::uint32_t header_size = c.u32();
    Resource r;
    r.type = c.id();
    r.name = c.id();
    c.align4();
    c.u32();  // DataVersion
    c.u16();  // MemoryFlags
    r.language = c.u16();
    c.u32();  // Version
    c.u32();  // Characteristics
    if (c.pos() != pos + header_size) throw std::runtime_error("header size does not match its fields");
    r.data = c.take(data_size);
    c.align4();
    pos = c.pos();
    resources.push_back(std::move(r));
  }
  return resources;
}

namespace {

// Node layout: wLength, wValueLength (in characters with the NUL for text, bytes
// otherwise; 0 when there is no value), wType, NUL-terminated key, padding, value,
// padding, children up to wLength.
VersionNode read_node(Cursor& c, std::size_t limit) {
  std::size_t start = c.pos();
  std::size_t end = start + c.u16();
  std::size_t value_length = c.u16();
  VersionNode node;
  node.type = c.u16();
  if (end > limit) throw std::runtime_error("version node overruns its parent");
  node.key = c.sz();
  c.align4();
  if (node.type == 1 && value_length > 0) {
    node.text = c.sz();
    if (node.text.size() + 1 != value_length) throw std::runtime_error("text value length mismatch");
  } else if (node.type != 1) {
    node.value = c.take(value_length);
  }
  c.align4();
  while (c.pos() < end) {
    node.children.push_back(read_node(c, end));
    c.align4();
  }
  // wLength leaves out the padding after the node's last field.
  if (c.pos() > ((end + 3) & ~std::size_t{3})) throw std::runtime_error("version node overruns its length");
  return node;
}

}  // namespace

VersionNode read_version(std::span<const std::uint8_t> data) {
  Cursor c(data, 0);
  return read_node(c, data.size());
}

}  // namespace res
