#include "platform/web_engine.h"

#include <dlfcn.h>
#include <unistd.h>
#include <webkit/webkit.h>

#include <filesystem>

std::optional<std::string> web_engine_problem() {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&webkit_web_view_new), &info) || !info.dli_fname)
    return "WebKitGTK error: the engine library cannot be located";
  // The helpers live in the webkitgtk-6.0 folder beside the library.
  auto helpers = std::filesystem::path(info.dli_fname).parent_path() / "webkitgtk-6.0";
  for (const char* name : {"WebKitWebProcess", "WebKitNetworkProcess"}) {
    auto helper = helpers / name;
    if (access(helper.c_str(), X_OK) != 0)
      return "WebKitGTK error: " + helper.string() + " is missing or cannot be run";
  }
  return std::nullopt;
}
