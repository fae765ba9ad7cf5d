#include "platform/web_view.h"

#include "platform/page_web_view.h"

namespace {

void on_script_done(GObject* view, GAsyncResult* result, gpointer) {
  // Collecting the result frees it; a host that never does grows with every reply.
  GError* error = nullptr;
  if (JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(view), result, &error))
    g_object_unref(value);
  g_clear_error(&error);
}

}  // namespace

WebView::WebView(GtkWindow* window, const std::string& profile_folder, std::string page, MessageHandler on_message,
                 FailureHandler on_engine_failure)
    : window_(window),
      page_(std::move(page)),
      on_message_(std::move(on_message)),
      on_engine_failure_(std::move(on_engine_failure)) {
  view_ = new_page_web_view(profile_folder, G_CALLBACK(on_script_message), this);
  g_signal_connect(view_, "decide-policy", G_CALLBACK(on_decide_policy), this);
  g_signal_connect(view_, "load-changed", G_CALLBACK(on_load_changed), this);
  g_signal_connect(view_, "web-process-terminated", G_CALLBACK(on_web_process_terminated), this);

  // The window may not shrink below what the page is laid out for.
  gtk_widget_set_size_request(GTK_WIDGET(view_), 500, 480);
  gtk_window_set_child(window_, GTK_WIDGET(view_));
  gtk_widget_grab_focus(GTK_WIDGET(view_));
  load_page();
}

void WebView::load_page() {
  ++page_load_;
  loaded_ = false;
  own_load_pending_ = true;
  webkit_web_view_load_html(view_, page_.c_str(), nullptr);
}

WebView::~WebView() {
  g_signal_handlers_disconnect_by_data(webkit_web_view_get_user_content_manager(view_), this);
  g_signal_handlers_disconnect_by_data(view_, this);
  gtk_window_set_child(window_, nullptr);
}

void WebView::evaluate_script(const std::string& script) {
  webkit_web_view_evaluate_javascript(view_, script.data(), static_cast<gssize>(script.size()), nullptr, nullptr,
                                      nullptr, on_script_done, nullptr);
}

void WebView::on_script_message(WebKitUserContentManager*, JSCValue* value, gpointer self) {
  if (!jsc_value_is_string(value)) return;  // the page only ever posts text
  // As bytes with their length: a NUL inside the text must not cut it short.
  GBytes* bytes = jsc_value_to_string_as_bytes(value);
  gsize size = 0;
  const auto* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
  auto* view = static_cast<WebView*>(self);
  view->on_message_(std::string_view(data ? data : "", size), view->page_load_);
  g_bytes_unref(bytes);
}

gboolean WebView::on_decide_policy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                                   gpointer self) {
  if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) return FALSE;  // only navigations that were let through get here
  auto* view = static_cast<WebView*>(self);
  WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(
      WEBKIT_NAVIGATION_POLICY_DECISION(decision));
  const WebKitNavigationType kind = webkit_navigation_action_get_navigation_type(action);
  // The page given as text loads as about:blank, a navigation of the "other" kind.
  if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION && view->own_load_pending_ &&
      kind == WEBKIT_NAVIGATION_TYPE_OTHER &&
      g_strcmp0(webkit_uri_request_get_uri(webkit_navigation_action_get_request(action)), "about:blank") == 0) {
    view->own_load_pending_ = false;
    webkit_policy_decision_use(decision);
    return TRUE;
  }
  webkit_policy_decision_ignore(decision);
  // A reload by itself would load about:blank, an empty document without the bridge. Loading
  // the page again instead makes a new load, so replies to the earlier one are dropped.
  if (kind == WEBKIT_NAVIGATION_TYPE_RELOAD) view->load_page();
  return TRUE;
}

void WebView::on_load_changed(WebKitWebView*, WebKitLoadEvent event, gpointer self) {
  if (event == WEBKIT_LOAD_FINISHED) static_cast<WebView*>(self)->loaded_ = true;
}

void WebView::on_web_process_terminated(WebKitWebView*, WebKitWebProcessTerminationReason, gpointer self) {
  auto* view = static_cast<WebView*>(self);
  // A web process that cannot even load the page is a failure to start, not a loop of reloads.
  if (!view->loaded_) return view->on_engine_failure_("WebKitGTK error: the web process ended before the page loaded");
  if (view->ends_.keeps_ending(WebProcessEnds::Clock::now()))
    return view->on_engine_failure_("WebKitGTK error: the web process keeps ending (three times within a minute)");
  view->load_page();
}
