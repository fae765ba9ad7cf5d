// The web view that fills the window: shows the assembled page, hands every text the page
// posts to the bridge, and runs reply scripts. When its web process ends after the page has
// loaded (a crash, the out-of-memory killer), it loads the page again in a new one: WebKitGTK
// would otherwise leave a view that shows the last frame and answers nothing. A web process
// that keeps ending is a failure to start. The view never leaves the page: a reload, whoever
// asks for it, loads the page again, and every navigation the view did not start (a dropped
// file or link, the page changing its location) is refused.
#pragma once

#include <gtk/gtk.h>
#include <webkit/webkit.h>

#include <functional>
#include <string>

#include "app/web_process_ends.h"
#include "platform/event_loop.h"

class WebView {
 public:
  // `page_load`: the load of the page that posted the text.
  using MessageHandler = std::function<void(std::string_view text, PageLoad page_load)>;
  using FailureHandler = std::function<void(const std::string& reason)>;

  // `on_engine_failure` runs if the web process ends before the page has loaded, the first
  // time or after a reload, or ends for the third time within a minute.
  WebView(GtkWindow* window, const std::string& profile_folder, std::string page, MessageHandler on_message,
          FailureHandler on_engine_failure);
  ~WebView();
  WebView(const WebView&) = delete;
  WebView& operator=(const WebView&) = delete;

  // Asynchronous; the outcome is collected and dropped.
  void evaluate_script(const std::string& script);

  // Counts from 1; one more each time the page is loaded again.
  PageLoad page_load() const { return page_load_; }

 private:
  static void on_script_message(WebKitUserContentManager*, JSCValue* value, gpointer self);
  static gboolean on_decide_policy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                                   gpointer self);
  static void on_load_changed(WebKitWebView*, WebKitLoadEvent event, gpointer self);
  static void on_web_process_terminated(WebKitWebView*, WebKitWebProcessTerminationReason, gpointer self);
  void load_page();

  GtkWindow* window_;
  WebKitWebView* view_;
  std::string page_;
  MessageHandler on_message_;
  FailureHandler on_engine_failure_;
  PageLoad page_load_ = 0;
  bool loaded_ = false;
  bool own_load_pending_ = false;  // load_page() has asked for a navigation not yet decided
  WebProcessEnds ends_;
};
