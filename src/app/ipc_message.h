// A request from the page, and the strict parser for the text the page posts.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

struct IpcMessage {
  std::uint64_t id = 0;
  std::string action;
  nlohmann::json payload;  // null when absent
};

// Accepts the object form {"id":…,"action":…,"payload":…} (other keys read and skipped)
// and the array form [id, action] / [id, action, payload]. Anything else: nullopt.
std::optional<IpcMessage> parse_ipc_message(std::string_view text);
