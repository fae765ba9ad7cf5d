// The web view that fills the window: shows the assembled page, hands every text the page
// posts to the bridge, and runs reply scripts.
#pragma once

#include <gtk/gtk.h>
#include <webkit/webkit.h>

#include <functional>
#include <string>

#include "platform/event_loop.h"

class WebView {
 public:
  using MessageHandler = std::function<void(std::string_view text)>;
  using FailureHandler = std::function<void(const std::string& reason)>;

  // `on_engine_failure` runs if the engine dies before the page has loaded.
  WebView(GtkWindow* window, const std::string& profile_folder, const std::string& page, MessageHandler on_message,
          FailureHandler on_engine_failure);
  ~WebView();
  WebView(const WebView&) = delete;
  WebView& operator=(const WebView&) = delete;

  // Asynchronous; the outcome is collected and dropped.
  void evaluate_script(const std::string& script);

 private:
  static void on_script_message(WebKitUserContentManager*, JSCValue* value, gpointer self);
  static void on_load_changed(WebKitWebView*, WebKitLoadEvent event, gpointer self);
  static void on_web_process_terminated(WebKitWebView*, WebKitWebProcessTerminationReason, gpointer self);

  GtkWindow* window_;
  WebKitWebView* view_;
  MessageHandler on_message_;
  FailureHandler on_engine_failure_;
  bool loaded_ = false;
};
