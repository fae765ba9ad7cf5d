// Preloaded into the program to measure it with WebKit's own hardware-acceleration policy
// (ALWAYS), as it was before it chose NEVER, without a switch in the program itself:
//   LD_PRELOAD=libwebkit-default-acceleration.so orvanta-tool
// The host's call that sets the policy is dropped; every other setting is left alone.
#include <stdlib.h>
#include <webkit/webkit.h>

namespace {

// WebKit's helper processes inherit the environment; they set no policy, and the sandbox
// would not find this file anyway. Only the host loads it.
// NOLINTNEXTLINE(concurrency-mt-unsafe): runs as the library loads, before main and any thread
__attribute__((constructor)) void keep_out_of_helpers() { unsetenv("LD_PRELOAD"); }

}  // namespace

extern "C" void webkit_settings_set_hardware_acceleration_policy(WebKitSettings*, WebKitHardwareAccelerationPolicy) {}
