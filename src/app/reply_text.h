// How a reply travels back: compact JSON text, wrapped in the page's callback call.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

// Compact, keys in byte order, "/" and non-ASCII unescaped, non-finite floats as null;
// "null" if the value cannot be written (a string that is not valid UTF-8).
std::string write_reply(const nlohmann::json& reply);

// "window.__ovCallback(<id>, <reply>);"
std::string callback_script(std::uint64_t id, std::string_view reply_text);
