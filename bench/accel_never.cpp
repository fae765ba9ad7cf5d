// Preloaded into the program or the floor to measure them with WebKit's hardware-acceleration
// policy set to never, without a switch in the program itself:
//   LD_PRELOAD=libaccel-never.so orvanta-tool
// Every WebKitSettings the process creates starts with the policy NEVER; whatever the host
// sets afterwards is left alone.
#include <dlfcn.h>
#include <stdlib.h>
#include <webkit/webkit.h>

#include <cstdio>

namespace {

// WebKit's helper processes inherit the environment; they create no settings, and the
// sandbox would not find this file anyway. Only the host loads it.
__attribute__((constructor)) void keep_out_of_helpers() { unsetenv("LD_PRELOAD"); }

}  // namespace

extern "C" WebKitSettings* webkit_settings_new() {
  using Create = WebKitSettings* (*)();
  static auto real = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "webkit_settings_new"));
  if (!real) {
    std::fprintf(stderr, "accel-never: webkit_settings_new not found\n");
    abort();
  }
  WebKitSettings* settings = real();
  webkit_settings_set_hardware_acceleration_policy(settings, WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
  return settings;
}
