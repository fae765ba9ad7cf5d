#include "app/open_url.h"

#include <array>

#include "platform/process_start.h"

bool is_openable_link(std::string_view link) {
  constexpr std::array<std::string_view, 3> prefixes = {"https://", "http://", "tel:"};
  for (std::string_view prefix : prefixes) {
    if (link.starts_with(prefix)) return true;
  }
  return false;
}

nlohmann::json open_url(const nlohmann::json& payload) {
  if (payload.is_object()) {
    auto url = payload.find("url");
    if (url != payload.end() && url->is_string()) {
      const auto& link = url->get_ref<const std::string&>();
      // xdg-open gets the link as its one argument vector entry: no shell reads it, so
      // characters such as & | < > ^ % " in it cannot run anything. start_detached
      // refuses a link holding a NUL. Whether the start worked is not the page's concern.
      if (is_openable_link(link)) start_detached({"xdg-open", link});
    }
  }
  return {{"ok", true}};
}
