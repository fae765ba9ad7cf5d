#include "app/reply_text.h"

std::string write_reply(const nlohmann::json& reply) {
  // nlohmann's objects are std::maps, so keys come out in unsigned byte order; the strict
  // handler makes a string that is not valid UTF-8 an error instead of a silent repair.
  try {
    return reply.dump(-1, ' ', false, nlohmann::json::error_handler_t::strict);
  } catch (const nlohmann::json::type_error&) {
    return "null";
  }
}

std::string callback_script(std::uint64_t id, std::string_view reply_text) {
  std::string script = "window.__ovCallback(";
  script += std::to_string(id);
  script += ", ";
  script += reply_text;
  script += ");";
  return script;
}
