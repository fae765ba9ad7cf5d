// Reading the page's payload into a lead, the phone check, the note cut and the lead's
// JSON text; a refused phone must never reach the network.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "app/lead.h"
#include "app/reply_text.h"
#include "loopback_socket.h"

namespace {

using nlohmann::json;

const std::string default_product = "Windows / Office bản quyền";

struct Accepted {
  std::string phone;
  std::string product;
  std::string note;
};

struct Case {
  const char* name;
  json payload;
  std::optional<Accepted> accepted;  // nothing: the phone is refused
};

std::string repeat(std::string_view piece, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += piece;
  return text;
}

json lead(std::string phone, json more = json::object()) {
  more["phone"] = std::move(phone);
  return more;
}

const std::string a479 = repeat("a", 479);
const std::string a480 = repeat("a", 480);

const Case cases[] = {
    // Digit count: 9 to 12 ASCII digits, other characters skipped.
    {"8 digits", lead("09123456"), std::nullopt},
    {"9 digits", lead("091234567"), Accepted{"091234567", default_product, ""}},
    {"12 digits", lead("091234567890"), Accepted{"091234567890", default_product, ""}},
    {"13 digits", lead("0912345678901"), std::nullopt},
    {"ten digits among other characters, kept as typed", lead(" +84 (91) 234-56 ab7\t"),
     Accepted{"+84 (91) 234-56 ab7", default_product, ""}},
    {"ten full-width digits", lead("０９１２３４５６７８"), std::nullopt},
    {"nine digits and full-width ones", lead("091234567８"), Accepted{"091234567８", default_product, ""}},
    {"phone missing", json::object(), std::nullopt},
    {"phone a number", json{{"phone", 912345678}}, std::nullopt},
    {"payload null", json(nullptr), std::nullopt},
    {"payload an array", json::array({"0912345678"}), std::nullopt},
    {"payload a string", json("0912345678"), std::nullopt},
    // Trim: the Unicode White_Space set at both ends, nothing inside, nothing else.
    {"unicode white space trimmed",
     lead("\u3000\u00a0\u2028\u0085\u000b 0912 345\u2003678\u2029\u202f\u205f\u1680\u200a\r\n"),
     Accepted{"0912 345\u2003678", default_product, ""}},
    {"zero-width space and BOM are not white space", lead("\u200b0912345678\ufeff"),
     Accepted{"\u200b0912345678\ufeff", default_product, ""}},
    // Product.
    {"product trimmed", lead("0912345678", {{"productInterest", "\t Office 2021 \n"}}),
     Accepted{"0912345678", "Office 2021", ""}},
    {"product blank", lead("0912345678", {{"productInterest", " \u3000 "}}), Accepted{"0912345678", "", ""}},
    {"product not a string", lead("0912345678", {{"productInterest", 7}}), Accepted{"0912345678", default_product, ""}},
    // Whether the note goes: only the boolean false leaves it out.
    {"includeScanNote missing", lead("0912345678", {{"scanNote", " Máy lỗi "}}),
     Accepted{"0912345678", default_product, "Máy lỗi"}},
    {"includeScanNote null", lead("0912345678", {{"includeScanNote", nullptr}, {"scanNote", "x"}}),
     Accepted{"0912345678", default_product, "x"}},
    {"includeScanNote the string false", lead("0912345678", {{"includeScanNote", "false"}, {"scanNote", "x"}}),
     Accepted{"0912345678", default_product, "x"}},
    {"includeScanNote 0", lead("0912345678", {{"includeScanNote", 0}, {"scanNote", "x"}}),
     Accepted{"0912345678", default_product, "x"}},
    {"includeScanNote true", lead("0912345678", {{"includeScanNote", true}, {"scanNote", "x"}}),
     Accepted{"0912345678", default_product, "x"}},
    {"includeScanNote false, long note", lead("0912345678", {{"includeScanNote", false}, {"scanNote", a480 + a480}}),
     Accepted{"0912345678", default_product, ""}},
    {"scanNote not a string", lead("0912345678", {{"scanNote", 5}}), Accepted{"0912345678", default_product, ""}},
    {"scanNote white space only", lead("0912345678", {{"scanNote", " \n\u3000\t"}}),
     Accepted{"0912345678", default_product, ""}},
    // The cut: at most 480 bytes, on a character boundary, not trimmed again.
    {"note of 480 bytes whole", lead("0912345678", {{"scanNote", a480}}),
     Accepted{"0912345678", default_product, a480}},
    {"note of 481 ASCII cut to 480", lead("0912345678", {{"scanNote", a480 + "b"}}),
     Accepted{"0912345678", default_product, a480}},
    {"three-byte character over the mark dropped", lead("0912345678", {{"scanNote", a479 + "€"}}),
     Accepted{"0912345678", default_product, a479}},
    {"161 three-byte characters cut to 160", lead("0912345678", {{"scanNote", repeat("ệ", 161)}}),
     Accepted{"0912345678", default_product, repeat("ệ", 160)}},
    {"two-byte character ending at the mark kept", lead("0912345678", {{"scanNote", repeat("a", 478) + "ă" + "b"}}),
     Accepted{"0912345678", default_product, repeat("a", 478) + "ă"}},
    {"white space before the cut kept", lead("0912345678", {{"scanNote", a479 + " bcd"}}),
     Accepted{"0912345678", default_product, a479 + " "}},
    {"trimmed before the cut", lead("0912345678", {{"scanNote", "  \u3000" + a480 + "  "}}),
     Accepted{"0912345678", default_product, a480}},
};

TEST(LeadForm, ReadsThePayloadAsTheTableSays) {
  // A refused phone gets this reply, keys in byte order, and no connection is tried.
  const std::string invalid_phone_reply =
      R"({"displayContact":null,"error":"Vui lòng nhập đúng số điện thoại Zalo hợp lệ (10 số).","ok":false})";
  LoopbackSocket listener(8);
  LeadEndpoint endpoint = vendor_endpoint();
  endpoint.connect_to = "127.0.0.1:" + std::to_string(listener.port());
  endpoint.connect_timeout = std::chrono::milliseconds(200);
  endpoint.exchange_timeout = std::chrono::milliseconds(400);

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const LeadForm form = read_lead_form(c.payload);
    EXPECT_EQ(phone_is_plausible(form.phone), c.accepted.has_value());
    if (c.accepted) {
      EXPECT_EQ(form.phone, c.accepted->phone);
      EXPECT_EQ(form.product, c.accepted->product);
      EXPECT_EQ(form.note, c.accepted->note);
    } else {
      EXPECT_EQ(write_reply(submit_lead(c.payload, endpoint)), invalid_phone_reply);
      EXPECT_FALSE(listener.has_pending_connection());
    }
  }
}

TEST(LeadBody, SixMembersInByteOrderUtf8Unescaped) {
  const LeadForm form{"+84 912-345-678", "Office 2021 — bản quyền", "Máy \"A\"\nlỗi /kích hoạt"};
  EXPECT_EQ(
      lead_body(form),
      R"({"contact":"+84 912-345-678","locale":"vi","note":"Máy \"A\"\nlỗi /kích hoạt",)"
      R"("popupSource":"orvanta_tool_exe","productInterest":"Office 2021 — bản quyền","sourcePath":"/orvanta-tool"})");
  EXPECT_EQ(
      lead_body(LeadForm{}),
      R"({"contact":"","locale":"vi","note":"","popupSource":"orvanta_tool_exe","productInterest":"","sourcePath":"/orvanta-tool"})");
}

}  // namespace
