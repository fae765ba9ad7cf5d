// The WebKit view as the page needs it: the profile folder, the bridge shim, the `ipc`
// message handler and the settings. The program's web view and the benchmark's floor are
// both made here, so the two cannot drift apart.
#pragma once

#include <webkit/webkit.h>

#include <string>

// `on_script_message` has the signature of "script-message-received":
// void (WebKitUserContentManager*, JSCValue*, gpointer data).
WebKitWebView* new_page_web_view(const std::string& profile_folder, GCallback on_script_message, gpointer data);
