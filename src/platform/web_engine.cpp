#include "platform/web_engine.h"

#include <unistd.h>

#include <filesystem>

std::optional<std::string> web_engine_problem() {
  // Where the build found the installed WebKit's helper programs.
  const std::filesystem::path helpers = ORVANTA_WEBKIT_HELPERS;
  for (const char* name : {"WebKitWebProcess", "WebKitNetworkProcess"}) {
    const auto helper = helpers / name;
    if (access(helper.c_str(), X_OK) != 0)
      return "WebKitGTK error: " + helper.string() + " is missing or cannot be run";
  }
  return std::nullopt;
}
