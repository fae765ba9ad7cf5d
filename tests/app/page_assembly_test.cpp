#include "app/page_assembly.h"

#include <glib.h>
#include <gtest/gtest.h>

#include "app/assets.h"

namespace {

size_t count(std::string_view text, std::string_view what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string_view::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

std::string decode_base64(const std::string& text) {
  gsize size = 0;
  guchar* bytes = g_base64_decode(text.c_str(), &size);
  std::string out(reinterpret_cast<char*>(bytes), size);
  g_free(bytes);
  return out;
}

}  // namespace

TEST(PageAssembly, TheRealPageGetsTheLogoOnceAndExactly) {
  ASSERT_EQ(count(page_html(), logo_placeholder), 1u);
  const std::string page = assemble_page(page_html(), logo_png());

  EXPECT_EQ(count(page, logo_placeholder), 0u);
  const std::string_view prefix = "data:image/png;base64,";
  ASSERT_EQ(count(page, prefix), 1u);

  const size_t start = page.find(prefix) + prefix.size();
  const std::string base64 = page.substr(start, page.find('"', start) - start);
  EXPECT_EQ(base64.size(), 4 * ((logo_png().size() + 2) / 3));
  EXPECT_EQ(base64.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="),
            std::string::npos);
  EXPECT_EQ(decode_base64(base64), logo_png());
  EXPECT_EQ(page.size(), page_html().size() - logo_placeholder.size() + prefix.size() + base64.size());
}

TEST(PageAssembly, DataUriOfKnownBytes) {
  // One, two and three bytes: two, one and no padding characters.
  EXPECT_EQ(png_data_uri("M"), "data:image/png;base64,TQ==");
  EXPECT_EQ(png_data_uri("Ma"), "data:image/png;base64,TWE=");
  EXPECT_EQ(png_data_uri("Man"), "data:image/png;base64,TWFu");
  EXPECT_EQ(png_data_uri(std::string("\xff\xfe\0", 3)), "data:image/png;base64,//4A");
}

TEST(PageAssembly, EveryPlaceholderIsReplacedWithoutRescanning) {
  struct Case {
    std::string_view text, from, to, expected;
  };
  const Case cases[] = {
      {"<a src=\"X\"><b src=\"X\">", "X", "uri", "<a src=\"uri\"><b src=\"uri\">"},
      {"no placeholder here", "X", "uri", "no placeholder here"},
      {"XXX", "XX", "a", "aX"},  // matches do not overlap
      {"X", "X", "XX", "XX"},    // inserted text is not scanned again
      {"", "X", "uri", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(replace_all(c.text, c.from, c.to), c.expected) << c.text;

  const std::string twice = "<img src=\"__OV_LOGO_DATA_URI__\"><img src=\"__OV_LOGO_DATA_URI__\">";
  EXPECT_EQ(count(assemble_page(twice, "png"), "data:image/png;base64,cG5n"), 2u);
}

TEST(PageAssembly, ProfileFolderHasOneSeparator) {
  EXPECT_EQ(profile_folder("/home/an/.cache"), "/home/an/.cache/OrvantaTool_WebView2");
  EXPECT_EQ(profile_folder("/home/an/.cache/"), "/home/an/.cache/OrvantaTool_WebView2");
  EXPECT_EQ(profile_folder("/home/an/.cache"), profile_folder("/home/an/.cache"));  // the same every run
}
