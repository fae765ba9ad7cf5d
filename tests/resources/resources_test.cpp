// The Windows resource script, compiled by windres and read back from the .res, and the
// kind of every committed PNG (the logo and the five icons).
#include <glib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <utility>
#include <variant>
#include <vector>

#include "app/vendor.h"
#include "png_kind.h"
#include "res_reader.h"

namespace {

constexpr std::uint16_t rt_icon = 3;
constexpr std::uint16_t rt_group_icon = 14;
constexpr std::uint16_t rt_version = 16;
constexpr std::uint16_t rt_manifest = 24;
constexpr std::uint16_t en_us = 1033;
constexpr std::array<std::uint32_t, 5> icon_sizes = {16, 32, 48, 64, 256};

const std::filesystem::path source_dir = ORVANTA_SOURCE_DIR;

std::vector<std::uint8_t> read_bytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path.string());
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::filesystem::path icon_png(std::uint32_t size) {
  return source_dir / "resources/icons" / ("icon-" + std::to_string(size) + ".png");
}

const std::vector<res::Resource>& compiled() {
  static const std::vector<res::Resource> resources = res::read_resources(read_bytes(ORVANTA_RES_FILE));
  return resources;
}

// The one resource of this type and ordinal name, or nullptr.
const res::Resource* find(std::uint16_t type, std::uint16_t name) {
  const auto& all = compiled();
  auto it = std::find_if(all.begin(), all.end(),
                         [&](const res::Resource& r) { return r.type == res::Id{type} && r.name == res::Id{name}; });
  return it == all.end() ? nullptr : &*it;
}

std::uint32_t le(const std::vector<std::uint8_t>& b, std::size_t at, int bytes) {
  std::uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | b.at(at + static_cast<std::size_t>(i));
  return v;
}

std::string describe(const res::Id& id) {
  if (const auto* ordinal = std::get_if<std::uint16_t>(&id)) return std::to_string(*ordinal);
  const auto& name = std::get<std::u16string>(id);
  return "\"" + std::string(name.begin(), name.end()) + "\"";  // only for messages
}

std::string entry(const res::Id& type, const res::Id& name, std::uint16_t language) {
  return "type " + describe(type) + ", name " + describe(name) + ", language " + std::to_string(language);
}

std::u16string widen(std::string_view ascii) { return {ascii.begin(), ascii.end()}; }

// The manifest's description and the version block's FileDescription.
std::string product_description() { return "Orvanta Tool - " + std::string(vendor::ascii_subtitle); }

TEST(Resources, EachHasItsTypeIdAndLanguage) {
  std::vector<std::string> expected = {entry(rt_manifest, std::uint16_t{1}, en_us),
                                       entry(rt_group_icon, std::uint16_t{1}, en_us),
                                       entry(rt_version, std::uint16_t{1}, en_us)};
  for (std::size_t id = 1; id <= icon_sizes.size(); ++id)
    expected.push_back(entry(rt_icon, static_cast<std::uint16_t>(id), en_us));

  std::vector<std::string> actual;
  for (const auto& r : compiled()) actual.push_back(entry(r.type, r.name, r.language));
  std::sort(expected.begin(), expected.end());
  std::sort(actual.begin(), actual.end());
  EXPECT_EQ(actual, expected);
}

TEST(Resources, IconGroupListsTheFivePngIcons) {
  const res::Resource* group = find(rt_group_icon, 1);
  ASSERT_NE(group, nullptr);
  const auto& g = group->data;
  ASSERT_EQ(g.size(), 6 + 14 * icon_sizes.size());
  EXPECT_EQ(le(g, 0, 2), 0u);  // reserved
  EXPECT_EQ(le(g, 2, 2), 1u);  // 1 = icon
  EXPECT_EQ(le(g, 4, 2), icon_sizes.size());

  for (std::size_t i = 0; i < icon_sizes.size(); ++i) {
    std::uint32_t size = icon_sizes[i];
    auto id = static_cast<std::uint16_t>(i + 1);
    SCOPED_TRACE("icon " + std::to_string(size) + " px");
    std::size_t e = 6 + 14 * i;
    EXPECT_EQ(le(g, e + 0, 1), size % 256);  // 0 stands for 256
    EXPECT_EQ(le(g, e + 1, 1), size % 256);
    EXPECT_EQ(le(g, e + 2, 1), 0u);  // no palette
    EXPECT_EQ(le(g, e + 3, 1), 0u);
    EXPECT_EQ(le(g, e + 4, 2), 1u);   // planes
    EXPECT_EQ(le(g, e + 6, 2), 32u);  // bits per pixel
    EXPECT_EQ(le(g, e + 12, 2), id);

    const res::Resource* icon = find(rt_icon, id);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(le(g, e + 8, 4), icon->data.size());
    EXPECT_TRUE(icon->data == read_bytes(icon_png(size))) << "RT_ICON " << id << " differs from " << icon_png(size);
  }
}

TEST(Resources, CommittedPngsAreEightBitRgbaWithSrgb) {
  std::vector<std::tuple<std::filesystem::path, std::uint32_t, std::uint32_t>> pngs = {
      {source_dir / "assets/logo.png", 360, 142}};
  for (std::uint32_t size : icon_sizes) pngs.emplace_back(icon_png(size), size, size);

  for (const auto& [path, width, height] : pngs) {
    SCOPED_TRACE(path.string());
    PngKind kind = read_png_kind(read_bytes(path));
    EXPECT_EQ(kind.width, width);
    EXPECT_EQ(kind.height, height);
    EXPECT_EQ(kind.bit_depth, 8);
    EXPECT_EQ(kind.colour_type, 6);  // truecolour with alpha
    EXPECT_EQ(kind.interlace, 0);
    EXPECT_TRUE(kind.srgb_before_idat);
    EXPECT_TRUE(kind.crcs_valid);
  }
}

TEST(Resources, VersionBlockHoldsEveryField) {
  const res::Resource* version = find(rt_version, 1);
  ASSERT_NE(version, nullptr);
  res::VersionNode root = res::read_version(version->data);
  EXPECT_EQ(root.key, u"VS_VERSION_INFO");

  // VS_FIXEDFILEINFO, field by field.
  const std::array<std::pair<const char*, std::uint32_t>, 13> fixed = {{
      {"signature", 0xFEEF04BD},
      {"structure version", 0x00010000},
      {"file version MS", 0x00010000},
      {"file version LS", 0},
      {"product version MS", 0x00010000},
      {"product version LS", 0},
      {"file flags mask", 0x3F},
      {"file flags", 0},
      {"file OS", 0x40004},
      {"file type", 1},
      {"file subtype", 0},
      {"file date MS", 0},
      {"file date LS", 0},
  }};
  ASSERT_EQ(root.value.size(), 4 * fixed.size());
  for (std::size_t i = 0; i < fixed.size(); ++i) EXPECT_EQ(le(root.value, 4 * i, 4), fixed[i].second) << fixed[i].first;

  ASSERT_EQ(root.children.size(), 2u);
  const res::VersionNode& string_info = root.children[0];
  const res::VersionNode& var_info = root.children[1];
  EXPECT_EQ(string_info.key, u"StringFileInfo");
  ASSERT_EQ(string_info.children.size(), 1u);
  const res::VersionNode& table = string_info.children[0];
  EXPECT_EQ(table.key, u"000004b0");

  const std::vector<std::pair<std::u16string, std::u16string>> strings = {
      {u"CompanyName", widen(vendor::company_name)},
      {u"FileDescription", widen(product_description())},
      {u"FileVersion", u"1.0.0"},
      {u"LegalCopyright", widen(vendor::legal_copyright)},
      {u"ProductName", u"Orvanta Tool"},
      {u"ProductVersion", u"1.0.0"},
  };
  std::vector<std::pair<std::u16string, std::u16string>> actual;
  for (const auto& s : table.children) {
    EXPECT_EQ(s.type, 1) << "not a text value";
    actual.emplace_back(s.key, s.text);
  }
  EXPECT_EQ(actual, strings);

  EXPECT_EQ(var_info.key, u"VarFileInfo");
  ASSERT_EQ(var_info.children.size(), 1u);
  EXPECT_EQ(var_info.children[0].key, u"Translation");
  EXPECT_EQ(var_info.children[0].value, (std::vector<std::uint8_t>{0x00, 0x00, 0xB0, 0x04}));  // 0x0000, 0x04B0
}

// The manifest's elements in document order, with their attributes and the text directly
// inside them, as GLib's markup parser (which also checks well-formedness) reports them.
struct Element {
  std::string name;
  std::vector<std::pair<std::string, std::string>> attributes;
  std::string text;
  bool operator==(const Element&) const = default;
};

void PrintTo(const Element& e, std::ostream* os) {
  *os << "<" << e.name;
  for (const auto& [k, v] : e.attributes) *os << " " << k << "=\"" << v << "\"";
  *os << ">" << e.text;
}

struct ManifestParse {
  std::vector<Element> elements;
  std::vector<std::size_t> open;
};

std::vector<Element> parse_markup(const std::string& text) {
  GMarkupParser parser{};
  parser.start_element = [](GMarkupParseContext*, const gchar* name, const gchar** keys, const gchar** values,
                            gpointer data, GError**) {
    auto* p = static_cast<ManifestParse*>(data);
    Element e{name, {}, {}};
    for (; *keys; ++keys, ++values) e.attributes.emplace_back(*keys, *values);
    p->open.push_back(p->elements.size());
    p->elements.push_back(std::move(e));
  };
  parser.end_element = [](GMarkupParseContext*, const gchar*, gpointer data, GError**) {
    static_cast<ManifestParse*>(data)->open.pop_back();
  };
  parser.text = [](GMarkupParseContext*, const gchar* text, gsize len, gpointer data, GError**) {
    auto* p = static_cast<ManifestParse*>(data);
    std::string_view t(text, len);
    auto first = t.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos || p->open.empty()) return;
    t = t.substr(first, t.find_last_not_of(" \t\r\n") - first + 1);
    p->elements[p->open.back()].text += t;
  };

  ManifestParse result;
  GError* error = nullptr;
  GMarkupParseContext* context = g_markup_parse_context_new(&parser, G_MARKUP_DEFAULT_FLAGS, &result, nullptr);
  bool ok = g_markup_parse_context_parse(context, text.data(), static_cast<gssize>(text.size()), &error) &&
            g_markup_parse_context_end_parse(context, &error);
  g_markup_parse_context_free(context);
  if (!ok) {
    std::string message = error->message;
    g_error_free(error);
    throw std::runtime_error("manifest is not well-formed: " + message);
  }
  return result.elements;
}

TEST(Resources, ManifestIsTheCommittedFileInItsElementOrder) {
  const res::Resource* manifest = find(rt_manifest, 1);
  ASSERT_NE(manifest, nullptr);
  std::string text(manifest->data.begin(), manifest->data.end());
  std::vector<std::uint8_t> committed = read_bytes(source_dir / "resources/app.manifest");
  EXPECT_EQ(text, std::string(committed.begin(), committed.end()));
  EXPECT_TRUE(text.starts_with("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n")) << text;

  const std::string asm_v3 = "urn:schemas-microsoft-com:asm.v3";
  const std::vector<Element> expected = {
      {"assembly", {{"xmlns", "urn:schemas-microsoft-com:asm.v1"}, {"manifestVersion", "1.0"}}, ""},
      {"assemblyIdentity",
       {{"version", "1.0.0.0"}, {"processorArchitecture", "*"}, {"name", "Orvanta.Tool"}, {"type", "win32"}},
       ""},
      {"description", {}, product_description()},
      {"trustInfo", {{"xmlns", asm_v3}}, ""},
      {"security", {}, ""},
      {"requestedPrivileges", {}, ""},
      {"requestedExecutionLevel", {{"level", "requireAdministrator"}, {"uiAccess", "false"}}, ""},
      {"compatibility", {{"xmlns", "urn:schemas-microsoft-com:compatibility.v1"}}, ""},
      {"application", {}, ""},
      {"supportedOS", {{"Id", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}}, ""},
      {"supportedOS", {{"Id", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}"}}, ""},
      {"application", {{"xmlns", asm_v3}}, ""},
      {"windowsSettings", {}, ""},
      {"dpiAware", {{"xmlns", "http://schemas.microsoft.com/SMI/2005/WindowsSettings"}}, "true/pm"},
      {"dpiAwareness", {{"xmlns", "http://schemas.microsoft.com/SMI/2016/WindowsSettings"}}, "PerMonitorV2"},
  };
  EXPECT_EQ(parse_markup(text), expected);
}

}  // namespace
