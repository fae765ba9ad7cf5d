// The reply writer and the callback script against tables of values and expected texts.
#include "app/reply_text.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace {

using nlohmann::json;

json lead_result_in_build_order() {
  json reply = json::object();
  reply["ok"] = true;
  reply["displayContact"] = "0901 234 567";
  reply["error"] = nullptr;
  return reply;
}

struct WriterCase {
  const char* name;
  json value;
  std::string text;
};

const WriterCase kWriterCases[] = {
    {"keys_in_byte_order_not_build_order", lead_result_in_build_order(),
     R"({"displayContact":"0901 234 567","error":null,"ok":true})"},
    {"keys_unsigned_bytes_prefix_first", json{{"b", 1}, {"é", 2}, {"ab", 3}, {"B", 4}, {"a", 5}},
     R"({"B":4,"a":5,"ab":3,"b":1,"é":2})"},
    {"compact_nesting", json{{"a", json::array({1, json::object(), json::array()})}}, R"({"a":[1,{},[]]})"},
    {"unknown_action_reply", json{{"error", "Unknown action"}}, R"({"error":"Unknown action"})"},
    {"line_feed", "a\nb", R"("a\nb")"},
    {"unit_separator", "\x1f", R"("\u001f")"},
    {"short_escapes", "\b\t\f\r\x01", R"("\b\t\f\r\u0001")"},
    {"quote_and_backslash", "\"\\", R"("\"\\")"},
    {"slash_unescaped", "https://zalo.me/", R"("https://zalo.me/")"},
    {"diacritics_and_emoji_unescaped", "Tiếng Việt ✅😀", R"("Tiếng Việt ✅😀")"},
    {"invalid_utf8_is_null", "\xff", "null"},
    {"invalid_utf8_deep_inside_is_null", json{{"ok", false}, {"error", json::array({"\xc3"})}}, "null"},
    {"nan_is_null", std::numeric_limits<double>::quiet_NaN(), "null"},
    {"infinities_are_null",
     json::array({std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()}), "[null,null]"},
    {"integer_limits",
     json::array({std::numeric_limits<std::uint64_t>::max(), std::numeric_limits<std::int64_t>::min()}),
     "[18446744073709551615,-9223372036854775808]"},
    {"plain_values", json::array({nullptr, true, false, 0.5}), "[null,true,false,0.5]"},
};

void PrintTo(const WriterCase& c, std::ostream* os) { *os << c.name; }

class WriteReply : public testing::TestWithParam<WriterCase> {};

TEST_P(WriteReply, WritesExpectedText) { EXPECT_EQ(write_reply(GetParam().value), GetParam().text); }

INSTANTIATE_TEST_SUITE_P(Table, WriteReply, testing::ValuesIn(kWriterCases),
                         [](const testing::TestParamInfo<WriterCase>& info) { return std::string(info.param.name); });

// The exact text of a float is free; reading it back must give the same value.
TEST(WriteReply, FloatsReadBackToTheSameValue) {
  for (double value : {0.1, 1.0 / 3.0, 1e300, -2.5e-308, 5e-324, std::numeric_limits<double>::max()}) {
    const std::string text = write_reply(value);
    EXPECT_EQ(json::parse(text).get<double>(), value) << text;
  }
}

struct ScriptCase {
  std::uint64_t id;
  std::string reply_text;
  std::string script;
};

TEST(CallbackScript, WrapsIdAndReply) {
  const ScriptCase cases[] = {
      {0, "null", "window.__ovCallback(0, null);"},
      {7, R"({"error":"Unknown action"})", R"(window.__ovCallback(7, {"error":"Unknown action"});)"},
      {18446744073709551615u, R"({"ok":true})", R"(window.__ovCallback(18446744073709551615, {"ok":true});)"},
  };
  for (const ScriptCase& c : cases) EXPECT_EQ(callback_script(c.id, c.reply_text), c.script);
}

}  // namespace
