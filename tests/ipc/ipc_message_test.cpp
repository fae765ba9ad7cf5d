// The parser against a table of message texts: what it accepts (id, action, payload as
// compact JSON text, so that 1 and 1.0 differ) and what it refuses.
#include "app/ipc_message.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

using namespace std::string_literals;

namespace {

struct Accepted {
  std::uint64_t id;
  std::string action;
  std::string payload;  // nlohmann's compact dump of the parsed payload
};

struct Case {
  const char* name;
  std::string text;
  std::optional<Accepted> expected;  // nullopt: refused
};

const std::optional<Accepted> kRefused;

std::string nested_arrays(std::size_t levels) { return std::string(levels, '[') + std::string(levels, ']'); }

std::string with_payload(const std::string& payload) { return R"({"id":1,"action":"a","payload":)" + payload + "}"; }

std::string with_skipped(const std::string& value) { return R"({"id":1,"action":"a","other":)" + value + "}"; }

const std::string kMessage = R"({"id":9,"action":"a"})";
const Accepted kSkippedOk{1, "a", "null"};

const Case kCases[] = {
    // The page's own form and its variants.
    {"typical", R"({"id":17,"action":"open_url","payload":{"url":"https://zalo.me/1"}})",
     Accepted{17, "open_url", R"({"url":"https://zalo.me/1"})"}},
    {"no_payload_is_null", R"({"id":5,"action":"open_url"})", Accepted{5, "open_url", "null"}},
    {"explicit_null_payload", R"({"id":5,"action":"a","payload":null})", Accepted{5, "a", "null"}},
    {"any_member_order", R"({"payload":[1],"action":"a","id":3})", Accepted{3, "a", "[1]"}},
    {"escaped_key_and_action", R"({"\u0069d":4,"action":"open\u005furl"})", Accepted{4, "open_url", "null"}},
    {"non_ascii_action", R"({"id":4,"action":"mở"})", Accepted{4, "mở", "null"}},
    {"empty_action", R"({"id":4,"action":""})", Accepted{4, "", "null"}},

    // id
    {"id_zero", R"({"id":0,"action":"a"})", Accepted{0, "a", "null"}},
    {"id_max", R"({"id":18446744073709551615,"action":"a"})", Accepted{18446744073709551615u, "a", "null"}},
    {"id_past_max", R"({"id":18446744073709551616,"action":"a"})", kRefused},
    {"id_negative", R"({"id":-1,"action":"a"})", kRefused},
    {"id_minus_zero", R"({"id":-0,"action":"a"})", kRefused},
    {"id_plus", R"({"id":+1,"action":"a"})", kRefused},
    {"id_fraction", R"({"id":1.0,"action":"a"})", kRefused},
    {"id_exponent", R"({"id":1e2,"action":"a"})", kRefused},
    {"id_upper_exponent", R"({"id":1E2,"action":"a"})", kRefused},
    {"id_leading_zero", R"({"id":01,"action":"a"})", kRefused},
    {"id_string", R"({"id":"1","action":"a"})", kRefused},
    {"id_null", R"({"id":null,"action":"a"})", kRefused},
    {"id_true", R"({"id":true,"action":"a"})", kRefused},
    {"id_missing", R"({"action":"a"})", kRefused},
    {"id_other_case", R"({"ID":1,"action":"a"})", kRefused},
    {"id_other_case_beside_id", R"({"ID":1,"id":2,"action":"a"})", Accepted{2, "a", "null"}},

    // action
    {"action_missing", R"({"id":1})", kRefused},
    {"action_number", R"({"id":1,"action":1})", kRefused},
    {"action_null", R"({"id":1,"action":null})", kRefused},

    // Repeated keys.
    {"second_action_same_value", R"({"id":1,"action":"a","action":"a"})", kRefused},
    {"second_id", R"({"id":1,"id":1,"action":"a"})", kRefused},
    {"second_payload", R"({"id":1,"action":"a","payload":null,"payload":null})", kRefused},
    {"repeated_other_key", R"({"id":1,"action":"a","x":1,"x":[2]})", kSkippedOk},
    {"payload_repeated_key_last_wins", with_payload(R"({"k":1,"k":2})"), Accepted{1, "a", R"({"k":2})"}},

    // Array form.
    {"array_empty", "[]", kRefused},
    {"array_one", "[7]", kRefused},
    {"array_two", R"([7,"x"])", Accepted{7, "x", "null"}},
    {"array_three", R"([7,"x",{"a":1}])", Accepted{7, "x", R"({"a":1})"}},
    {"array_four", R"([7,"x",1,2])", kRefused},
    {"array_trailing_comma", R"([7,"x",])", kRefused},
    {"array_id_string", R"(["7","x"])", kRefused},
    {"array_payload_126_levels", R"([1,"a",)" + nested_arrays(126) + "]", Accepted{1, "a", nested_arrays(126)}},
    {"array_payload_127_levels", R"([1,"a",)" + nested_arrays(127) + "]", kRefused},

    // Nesting.
    {"payload_126_levels", with_payload(nested_arrays(126)), Accepted{1, "a", nested_arrays(126)}},
    {"payload_127_levels", with_payload(nested_arrays(127)), kRefused},
    {"payload_127_object_levels", with_payload([] {
       std::string s;
       for (int i = 0; i < 127; ++i) s += R"({"k":)";
       return s + "0" + std::string(127, '}');
     }()),
     kRefused},
    {"payload_million_levels", with_payload(nested_arrays(1'000'000)), kRefused},
    {"skipped_200_levels", with_skipped(nested_arrays(200)), kSkippedOk},
    {"skipped_million_levels", with_skipped(nested_arrays(1'000'000)), kSkippedOk},
    {"skipped_million_levels_unclosed", with_skipped(std::string(1'000'000, '[')), kRefused},

    // Around the message.
    {"blank_around", " \t\r\n" + kMessage + "\n\r\t ", Accepted{9, "a", "null"}},
    {"blank_inside", "{ \"id\" :\t9 ,\n\"action\"\r: \"a\" , \"payload\" : [ 1 , { } ] }", Accepted{9, "a", "[1,{}]"}},
    {"second_value_after", kMessage + kMessage, kRefused},
    {"stray_comma_after", kMessage + ",", kRefused},
    {"empty_text", "", kRefused},
    {"blank_text", " \n", kRefused},
    {"bom_before", "\xEF\xBB\xBF" + kMessage, kRefused},
    {"nul_after", kMessage + "\0"s, kRefused},
    {"nul_before", "\0"s + kMessage, kRefused},
    {"form_feed_before", "\f" + kMessage, kRefused},
    {"top_level_number", "1", kRefused},
    {"top_level_string", R"("a")", kRefused},
    {"top_level_null", "null", kRefused},
    {"unclosed_object", R"({"id":9,"action":"a")", kRefused},
    {"empty_object", "{}", kRefused},

    // Strict JSON in the message and in the payload.
    {"trailing_comma", R"({"id":1,"action":"a",})", kRefused},
    {"comment", R"({"id":1,/* c */"action":"a"})", kRefused},
    {"single_quotes", R"({'id':1,"action":"a"})", kRefused},
    {"bare_key", R"({id:1,"action":"a"})", kRefused},
    {"raw_tab_in_action", "{\"id\":1,\"action\":\"a\tb\"}", kRefused},
    {"raw_nul_in_action", "{\"id\":1,\"action\":\"a\0b\"}"s, kRefused},
    {"unknown_escape", R"({"id":1,"action":"a\x"})", kRefused},
    {"short_unicode_escape", R"({"id":1,"action":"\u12"})", kRefused},
    {"payload_nan", with_payload("NaN"), kRefused},
    {"payload_infinity", with_payload("-Infinity"), kRefused},
    {"payload_leading_zero", with_payload("[01]"), kRefused},
    {"payload_bare_word", with_payload("nul"), kRefused},
    {"payload_trailing_comma", with_payload("[1,]"), kRefused},
    {"payload_1e400", with_payload("1e400"), kRefused},
    {"payload_minus_1e400", with_payload("[-1e400]"), kRefused},
    {"payload_1e_minus_400", with_payload("1e-400"), Accepted{1, "a", "0.0"}},
    {"payload_number_kinds", with_payload("[18446744073709551615,-9223372036854775808,18446744073709551616,1.5]"),
     Accepted{1, "a", "[18446744073709551615,-9223372036854775808,1.8446744073709552e+19,1.5]"}},

    // Skipped values: grammar checks only, but all of them.
    {"skipped_all_kinds", with_skipped(R"({"a":[true,false,null,-0.5e+3,"s\n\/\u00e9"],"b":{}})"), kSkippedOk},
    {"skipped_trailing_comma", with_skipped("[1,]"), kRefused},
    {"skipped_leading_zero", with_skipped("01"), kRefused},
    {"skipped_bare_fraction", with_skipped(".5"), kRefused},
    {"skipped_missing_exponent_digits", with_skipped("1e"), kRefused},
    {"skipped_missing_colon", with_skipped(R"({"a" 1})"), kRefused},
    {"skipped_colon_in_array", with_skipped("[1:2]"), kRefused},
    {"skipped_mismatched_closer", with_skipped("[1}"), kRefused},
    {"skipped_number_key", with_skipped("{1:2}"), kRefused},
    {"skipped_bad_escape", with_skipped(R"("\a")"), kRefused},
    {"skipped_bad_unicode_escape", with_skipped(R"("\u12g4")"), kRefused},
    {"skipped_raw_control", with_skipped("\"\x1f\""), kRefused},
    {"skipped_bare_word", with_skipped("tru"), kRefused},
    {"skipped_missing_value", R"({"id":1,"action":"a","other":})", kRefused},
    {"skipped_1e400", with_skipped("1e400"), kSkippedOk},

    // Surrogate escapes: paired wherever the value is used, free inside skipped values.
    {"payload_surrogate_pair", with_payload(R"("\ud83d\ude00")"), Accepted{1, "a", "\"\xF0\x9F\x98\x80\""}},
    {"payload_lone_high_surrogate", with_payload(R"("\ud83d")"), kRefused},
    {"payload_lone_low_surrogate", with_payload(R"(["\ude00x"])"), kRefused},
    {"payload_key_lone_surrogate", with_payload(R"({"\ud800":1})"), kRefused},
    {"action_lone_surrogate", R"({"id":1,"action":"\udc00"})", kRefused},
    {"message_key_lone_surrogate", R"({"\ud800":1,"id":1,"action":"a"})", kRefused},
    {"skipped_lone_surrogate", with_skipped(R"("\ud800")"), kSkippedOk},
    {"skipped_key_lone_surrogate", with_skipped(R"({"\udc00":["\ud800x"]})"), kSkippedOk},

    // Invalid UTF-8 is refused everywhere, skipped values included.
    {"payload_invalid_utf8", with_payload("\"\xff\""), kRefused},
    {"action_invalid_utf8", "{\"id\":1,\"action\":\"\xc3\"}", kRefused},
    {"skipped_invalid_utf8", with_skipped("\"\xff\""), kRefused},
    {"skipped_overlong_utf8", with_skipped("\"\xc0\xaf\""), kRefused},
    {"skipped_encoded_surrogate", with_skipped("\"\xed\xa0\x80\""), kRefused},
    {"payload_valid_utf8", with_payload("\"Tiếng Việt 😀\""), Accepted{1, "a", "\"Tiếng Việt 😀\""}},
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class ParseIpcMessage : public testing::TestWithParam<Case> {};

TEST_P(ParseIpcMessage, AcceptsOrRefuses) {
  const Case& c = GetParam();
  const std::optional<IpcMessage> msg = parse_ipc_message(c.text);
  if (!c.expected) {
    EXPECT_FALSE(msg.has_value()) << "accepted with action " << msg->action;
    return;
  }
  ASSERT_TRUE(msg.has_value());
  EXPECT_EQ(msg->id, c.expected->id);
  EXPECT_EQ(msg->action, c.expected->action);
  EXPECT_EQ(msg->payload.dump(), c.expected->payload);
}

INSTANTIATE_TEST_SUITE_P(Table, ParseIpcMessage, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
