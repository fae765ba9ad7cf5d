// The outer structure of a message is scanned here by hand, because the rules for it
// differ from what nlohmann::json alone can do: the values of unknown keys are skipped with
// grammar checks only (they may hold lone surrogate escapes or numbers past the double
// range), and nesting is limited for the payload but not for skipped values. The payload's
// text, and any key or action with escapes in it, go to nlohmann::json::parse, which is
// strict, decodes escapes, pairs surrogates and refuses out-of-range numbers.
#include "app/ipc_message.h"

#include <glib.h>

#include <charconv>
#include <cstddef>
#include <limits>
#include <utility>

namespace {

using nlohmann::json;

// The message's own object or array is level 1, so the payload may open 126 more.
constexpr std::size_t kPayloadLevels = 126;
constexpr std::size_t kUnlimited = std::numeric_limits<std::size_t>::max();

class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  std::optional<IpcMessage> message() {
    std::optional<IpcMessage> msg;
    skip_space();
    if (peek() == '{') msg = object_form();
    else if (peek() == '[') msg = array_form();
    skip_space();
    if (pos_ != text_.size()) return std::nullopt;
    return msg;
  }

 private:
  std::optional<IpcMessage> object_form() {
    ++pos_;  // '{'
    IpcMessage msg;
    bool has_id = false, has_action = false, has_payload = false;
    do {
      std::string key;
      if (!read_text(key) || !eat(':')) return std::nullopt;
      bool ok;
      if (key == "id") ok = !std::exchange(has_id, true) && read_id(msg.id);
      else if (key == "action") ok = !std::exchange(has_action, true) && read_text(msg.action);
      else if (key == "payload") ok = !std::exchange(has_payload, true) && read_payload(msg.payload);
      else ok = scan_value(kUnlimited);
      if (!ok) return std::nullopt;
    } while (eat(','));
    if (!eat('}') || !has_id || !has_action) return std::nullopt;
    return msg;
  }

  std::optional<IpcMessage> array_form() {
    ++pos_;  // '['
    IpcMessage msg;
    if (!read_id(msg.id) || !eat(',') || !read_text(msg.action)) return std::nullopt;
    if (eat(',') && !read_payload(msg.payload)) return std::nullopt;
    if (!eat(']')) return std::nullopt;
    return msg;
  }

  // A non-negative integer that fits 64 bits. A fraction or an exponent after the digits
  // is refused by the caller, which expects ',', '}' or ']' next.
  bool read_id(std::uint64_t& id) {
    skip_space();
    const char* first = text_.data() + pos_;
    auto [end, error] = std::from_chars(first, text_.data() + text_.size(), id);
    if (error != std::errc{}) return false;              // no digits, a sign, or past 2^64 - 1
    if (*first == '0' && end - first > 1) return false;  // a leading zero is not JSON
    pos_ = static_cast<std::size_t>(end - text_.data());
    return true;
  }

  // A string with its escapes resolved. Escaped text is decoded by nlohmann, which also
  // refuses a surrogate escape without its partner; text without escapes is taken as it is.
  bool read_text(std::string& out) {
    skip_space();
    const std::size_t start = pos_;
    if (!scan_string()) return false;
    const std::string_view literal = text_.substr(start, pos_ - start);
    if (literal.find('\\') == std::string_view::npos) {
      out = literal.substr(1, literal.size() - 2);
      return true;
    }
    const json decoded = json::parse(literal.begin(), literal.end(), nullptr, false);
    if (decoded.is_discarded()) return false;
    out = decoded.get<std::string>();
    return true;
  }

  bool read_payload(json& payload) {
    skip_space();
    const std::size_t start = pos_;
    if (!scan_value(kPayloadLevels)) return false;
    const std::string_view span = text_.substr(start, pos_ - start);
    payload = json::parse(span.begin(), span.end(), nullptr, false);
    return !payload.is_discarded();
  }

  // One JSON value, checked against the grammar only. Open containers are kept on the heap,
  // not the call stack: a skipped value may be nested a million deep and a worker thread
  // has 2 MiB of stack. False on a grammar error or when more than max_levels are open.
  bool scan_value(std::size_t max_levels) {
    std::string open;  // '[' or '{' for each container not yet closed
    for (;;) {
      skip_space();
      const char c = peek();
      if (c == '[' || c == '{') {
        if (open.size() == max_levels) return false;
        ++pos_;
        open.push_back(c);
        if (!eat(closer(c))) {
          if (c == '{' && !scan_member_key()) return false;
          continue;  // the container's first value
        }
        open.pop_back();
      } else if (!scan_scalar()) {
        return false;
      }
      // After a value: close what ends here, then go on with the next element if any.
      for (;;) {
        if (open.empty()) return true;
        if (eat(',')) {
          if (open.back() == '{' && !scan_member_key()) return false;
          break;
        }
        if (!eat(closer(open.back()))) return false;
        open.pop_back();
      }
    }
  }

  bool scan_member_key() {
    skip_space();
    return scan_string() && eat(':');
  }

  bool scan_scalar() {
    const char c = peek();
    if (c == '"') return scan_string();
    if (c == '-' || (c >= '0' && c <= '9')) return scan_number();
    for (std::string_view word : {"true", "false", "null"}) {
      if (text_.substr(pos_).starts_with(word)) {
        pos_ += word.size();
        return true;
      }
    }
    return false;
  }

  bool scan_string() {
    if (!eat_here('"')) return false;
    while (pos_ < text_.size()) {
      const auto c = static_cast<unsigned char>(text_[pos_++]);
      if (c == '"') return true;
      if (c < 0x20) return false;  // raw control characters must be escaped
      if (c != '\\') continue;
      if (pos_ == text_.size()) return false;
      const char escape = text_[pos_++];
      if (escape == 'u') {
        for (int i = 0; i < 4; ++i, ++pos_) {
          if (!g_ascii_isxdigit(peek())) return false;
        }
      } else if (std::string_view("\"\\/bfnrt").find(escape) == std::string_view::npos) {
        return false;
      }
    }
    return false;  // unterminated
  }

  bool scan_number() {
    eat_here('-');
    if (!eat_here('0') && !scan_digits()) return false;
    if (eat_here('.') && !scan_digits()) return false;
    if (eat_here('e') || eat_here('E')) {
      if (!eat_here('+')) eat_here('-');
      if (!scan_digits()) return false;
    }
    return true;
  }

  bool scan_digits() {
    const std::size_t start = pos_;
    while (peek() >= '0' && peek() <= '9') ++pos_;
    return pos_ > start;
  }

  static char closer(char opener) { return opener == '[' ? ']' : '}'; }

  // '\0' past the end: no rule accepts a NUL byte, so both end the same way.
  char peek() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }

  bool eat_here(char c) {
    if (peek() != c) return false;
    ++pos_;
    return true;
  }

  bool eat(char c) {
    skip_space();
    return eat_here(c);
  }

  // JSON's four white-space characters only: no BOM, no NUL, no form feed.
  void skip_space() {
    while (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r') ++pos_;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

}  // namespace

std::optional<IpcMessage> parse_ipc_message(std::string_view text) {
  // A JSON text is UTF-8 (RFC 8259, 8.1): invalid UTF-8 anywhere, skipped values included,
  // makes the message invalid. GLib's validator refuses overlong forms, encoded surrogates
  // and NUL bytes as well.
  if (text.empty() || !g_utf8_validate_len(text.data(), text.size(), nullptr)) return std::nullopt;
  return Scanner(text).message();
}
