#include "app/lead.h"

#include <algorithm>
#include <array>
#include <cstddef>

#include "app/lead_http.h"
#include "app/reply_text.h"
#include "app/vendor.h"

namespace {

using nlohmann::json;

constexpr std::size_t max_note_bytes = 480;

// The Unicode White_Space set in UTF-8. Written out by hand because neither the C++
// library nor GLib has this exact set (g_unichar_isspace leaves out U+000B and U+0085).
// One row per block of the set.
// clang-format off
constexpr std::array<std::string_view, 25> white_space = {
    "\x09", "\x0A", "\x0B", "\x0C", "\x0D", "\x20",
    "\xC2\x85", "\xC2\xA0", "\xE1\x9A\x80",
    "\xE2\x80\x80", "\xE2\x80\x81", "\xE2\x80\x82", "\xE2\x80\x83", "\xE2\x80\x84", "\xE2\x80\x85",
    "\xE2\x80\x86", "\xE2\x80\x87", "\xE2\x80\x88", "\xE2\x80\x89", "\xE2\x80\x8A",
    "\xE2\x80\xA8", "\xE2\x80\xA9", "\xE2\x80\xAF", "\xE2\x81\x9F", "\xE3\x80\x80",
};
// clang-format on

// Strips white space from both ends; the inside of the text stays as it is. A match at
// either end is a whole character: UTF-8 lead bytes never occur inside another character.
std::string trimmed(std::string_view text) {
  for (bool stripped = true; stripped && !text.empty();) {
    stripped = false;
    for (std::string_view space : white_space) {
      if (text.starts_with(space)) {
        text.remove_prefix(space.size());
        stripped = true;
      }
      if (text.ends_with(space)) {
        text.remove_suffix(space.size());
        stripped = true;
      }
    }
  }
  return std::string(text);
}

// The longest beginning of at most max_bytes that ends on a character boundary.
std::string cut_to_bytes(std::string text, std::size_t max_bytes) {
  if (text.size() <= max_bytes) return text;
  std::size_t end = max_bytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  text.resize(end);
  return text;
}

// A key's value when the payload is an object holding it with the wanted type.
const json* member(const json& value, const char* key, json::value_t type) {
  if (!value.is_object()) return nullptr;
  auto found = value.find(key);
  if (found == value.end() || found->type() != type) return nullptr;
  return &*found;
}

std::string string_or(const json& value, const char* key, std::string_view fallback) {
  const json* found = member(value, key, json::value_t::string);
  return found ? found->get<std::string>() : std::string(fallback);
}

std::string invalid_phone_text() { return "Vui lòng nhập đúng số điện thoại Zalo hợp lệ (10 số)."; }

std::string network_failure_text() {
  return "Không kết nối được mạng tới Orvanta. Bạn có thể nhắn trực tiếp Zalo " + std::string(vendor::contact_number) +
         ".";
}

std::string server_error_text(long status) {
  return "Máy chủ phản hồi lỗi HTTP " + std::to_string(status) + ". Vui lòng nhắn Zalo " +
         std::string(vendor::contact_number) + ".";
}

std::string not_sent_text() {
  return "Chưa gửi được yêu cầu. Vui lòng thử nhắn Zalo " + std::string(vendor::contact_number) + ".";
}

LeadResult delivered(std::string display_contact) { return {true, std::move(display_contact), std::nullopt}; }
LeadResult failed(std::string error) { return {false, std::nullopt, std::move(error)}; }

// A body counts as JSON only when all of it is one JSON value with white space around it.
// The parser would stop at a NUL byte and skip a leading byte-order mark; neither is JSON.
json parsed_body(const std::optional<std::string>& body) {
  if (!body || body->find('\0') != std::string::npos || body->starts_with("\xEF\xBB\xBF"))
    return json(json::value_t::discarded);
  return json::parse(*body, nullptr, false);
}

// The first row that fits decides.
LeadResult result_of(const std::optional<LeadReply>& reply, const std::string& phone) {
  if (!reply) return failed(network_failure_text());
  const json body = parsed_body(reply->body);
  if (reply->status >= 400) {
    const json* error = member(body, "error", json::value_t::string);
    return failed(error ? error->get<std::string>() : server_error_text(reply->status));
  }
  if (body.is_discarded()) return delivered(phone);
  if (const json* ok = member(body, "ok", json::value_t::boolean); ok && ok->get<bool>()) {
    return delivered(string_or(body, "displayContact", phone));
  }
  return failed(string_or(body, "error", not_sent_text()));
}

}  // namespace

LeadEndpoint vendor_endpoint() {
  LeadEndpoint endpoint;
  endpoint.host = vendor::service_host;
  endpoint.site_host = vendor::site_host;
  return endpoint;
}

json to_json(const LeadResult& result) {
  json reply = json::object();
  reply["ok"] = result.ok;
  reply["displayContact"] = result.display_contact ? json(*result.display_contact) : json(nullptr);
  reply["error"] = result.error ? json(*result.error) : json(nullptr);
  return reply;
}

LeadForm read_lead_form(const json& payload) {
  LeadForm form;
  form.phone = trimmed(string_or(payload, "phone", ""));
  form.product = trimmed(string_or(payload, "productInterest", "Windows / Office bản quyền"));
  const json* include_note = member(payload, "includeScanNote", json::value_t::boolean);
  if (!include_note || include_note->get<bool>()) {
    form.note = cut_to_bytes(trimmed(string_or(payload, "scanNote", "")), max_note_bytes);
  }
  return form;
}

bool phone_is_plausible(std::string_view phone) {
  const auto digits = std::count_if(phone.begin(), phone.end(), [](char c) { return c >= '0' && c <= '9'; });
  return digits >= 9 && digits <= 12;
}

std::string lead_body(const LeadForm& form) {
  // One key a line.
  // clang-format off
  const json body = {
      {"contact", form.phone},
      {"productInterest", form.product},
      {"popupSource", "orvanta_tool_exe"},
      {"locale", "vi"},
      {"sourcePath", "/orvanta-tool"},
      {"note", form.note},
  };
  // clang-format on
  return write_reply(body);
}

json submit_lead(const json& payload, const LeadEndpoint& endpoint) {
  const LeadForm form = read_lead_form(payload);
  if (!phone_is_plausible(form.phone)) return to_json(failed(invalid_phone_text()));
  return to_json(result_of(post_lead(endpoint, lead_body(form)), form.phone));
}
