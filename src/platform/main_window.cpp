#include "platform/main_window.h"

#include "app/vendor.h"

namespace {

gboolean on_close_request(GtkWindow*, gpointer loop) {
  static_cast<EventLoop*>(loop)->deliver({Event::Kind::CloseRequested, {}});
  return TRUE;  // the loop decides; the window itself is never destroyed
}

void on_window_changed(GObject*, GParamSpec*, gpointer loop) {
  static_cast<EventLoop*>(loop)->deliver({Event::Kind::WindowChanged, {}});
}

}  // namespace

GtkWindow* create_main_window(EventLoop& loop, std::string& error) {
  if (!gtk_init_check()) {
    const char* display = g_getenv("DISPLAY");
    error = std::string("cannot open display: ") + (display && *display ? display : "(DISPLAY unset)");
    return nullptr;
  }
  auto* window = GTK_WINDOW(gtk_window_new());
  gtk_window_set_title(window, std::string(vendor::window_title).c_str());
  // The default size counts the title bar where GTK draws it itself (Wayland), so the page
  // would get less than 820 × 620. Realized, the still empty window measures exactly that
  // bar as its minimum height (none where the window manager draws the frame).
  gtk_widget_realize(GTK_WIDGET(window));
  int title_bar = 0;
  gtk_widget_measure(GTK_WIDGET(window), GTK_ORIENTATION_VERTICAL, -1, &title_bar, nullptr, nullptr, nullptr);
  gtk_window_set_default_size(window, 820, 620 + title_bar);
  g_signal_connect(window, "close-request", G_CALLBACK(on_close_request), &loop);
  for (const char* signal : {"notify::default-width", "notify::default-height", "notify::is-active"})
    g_signal_connect(window, signal, G_CALLBACK(on_window_changed), &loop);
  gtk_window_present(window);
  return window;
}
