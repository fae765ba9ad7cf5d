#include "platform/page_web_view.h"

#include <vector>

#include "app/browser_languages.h"

namespace {

// Gives the page window.ipc.postMessage from its first line, as a frozen, read-only object.
constexpr const char* bridge_shim =
    "Object.defineProperty(window, 'ipc', { value: Object.freeze({ postMessage: s=> "
    "window.webkit.messageHandlers.ipc.postMessage(s) }) });";

// The user's locale as language tags; where it names none (C, POSIX), WebKit's default stays.
void set_preferred_languages(WebKitWebView* view) {
  const std::vector<std::string> tags = browser_languages(g_get_language_names());
  if (tags.empty()) return;
  std::vector<const char*> list;
  list.reserve(tags.size() + 1);
  for (const std::string& tag : tags) list.push_back(tag.c_str());
  list.push_back(nullptr);
  webkit_web_context_set_preferred_languages(webkit_web_view_get_context(view), list.data());
}

// WebKitGTK has no setting for pinch zoom. Its zoom gesture stays in place (WebKit holds a
// reference to it) but receives no event, so a touchpad or touchscreen pinch does nothing.
void disable_pinch_zoom(WebKitWebView* view) {
  GListModel* controllers = gtk_widget_observe_controllers(GTK_WIDGET(view));
  const guint count = g_list_model_get_n_items(controllers);
  for (guint i = 0; i < count; ++i) {
    auto* controller = static_cast<GtkEventController*>(g_list_model_get_item(controllers, i));
    if (GTK_IS_GESTURE_ZOOM(controller)) gtk_event_controller_set_propagation_phase(controller, GTK_PHASE_NONE);
    g_object_unref(controller);
  }
  g_object_unref(controllers);
}

}  // namespace

WebKitWebView* new_page_web_view(const std::string& profile_folder, GCallback on_script_message, gpointer data) {
  WebKitNetworkSession* session = webkit_network_session_new(profile_folder.c_str(), profile_folder.c_str());

  WebKitUserContentManager* content = webkit_user_content_manager_new();
  WebKitUserScript* shim = webkit_user_script_new(bridge_shim, WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                                  WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
  webkit_user_content_manager_add_script(content, shim);
  webkit_user_script_unref(shim);
  g_signal_connect(content, "script-message-received::ipc", on_script_message, data);
  webkit_user_content_manager_register_script_message_handler(content, "ipc", nullptr);

  WebKitSettings* settings = webkit_settings_new();
  webkit_settings_set_enable_developer_extras(settings, FALSE);
  webkit_settings_set_javascript_can_access_clipboard(settings, FALSE);
  webkit_settings_set_media_playback_requires_user_gesture(settings, FALSE);
  webkit_settings_set_enable_back_forward_navigation_gestures(settings, FALSE);
  // One static page: drawn without GL it paints about a fifth sooner and the web process
  // needs less than half the memory (measured with software GL; see the README).
  webkit_settings_set_hardware_acceleration_policy(settings, WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);

  auto* view = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "network-session", session, "user-content-manager",
                                            content, "settings", settings, nullptr));
  g_object_unref(settings);
  g_object_unref(content);
  g_object_unref(session);

  set_preferred_languages(view);
  disable_pinch_zoom(view);
  return view;
}
