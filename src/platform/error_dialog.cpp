#include "platform/error_dialog.h"

#include <gtk/gtk.h>
#include <unistd.h>

#include <cstdio>

#include "app/vendor.h"

namespace {

std::string failure_text(const std::string& reason) {
  return "Máy tính chưa có WebKitGTK để mở giao diện.\nChi tiết: " + reason +
         "\n\nVui lòng cài đặt gói libwebkitgtk-6.0-4 (WebKitGTK 6.0) hoặc liên hệ Zalo Orvanta: " +
         std::string(vendor::contact_number) + ".";
}

void on_response(GtkDialog*, int, gpointer loop) { g_main_loop_quit(static_cast<GMainLoop*>(loop)); }

gboolean on_close(GtkWindow*, gpointer loop) {
  g_main_loop_quit(static_cast<GMainLoop*>(loop));
  return FALSE;
}

}  // namespace

void fail_web_view_start(const std::string& reason) {
  GtkWidget* box = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR, GTK_BUTTONS_OK, "%s",
                                          failure_text(reason).c_str());
  gtk_window_set_title(GTK_WINDOW(box), "Orvanta Tool");
  // GTK 4 message boxes draw no image of their own: the theme's error icon goes above the
  // text, and on the window for window managers that show one in the title bar.
  GtkWidget* icon = gtk_image_new_from_icon_name("dialog-error");
  gtk_image_set_pixel_size(GTK_IMAGE(icon), 48);
  gtk_box_prepend(GTK_BOX(gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(box))), icon);
  gtk_window_set_icon_name(GTK_WINDOW(box), "dialog-error");
  GMainLoop* wait = g_main_loop_new(nullptr, FALSE);
  g_signal_connect(box, "response", G_CALLBACK(on_response), wait);
  g_signal_connect(box, "close-request", G_CALLBACK(on_close), wait);
  gtk_window_present(GTK_WINDOW(box));
  g_main_loop_run(wait);
  std::fprintf(stderr, "WebKitGTK init error: %s\n", reason.c_str());
  std::fflush(stderr);
  _exit(1);
}
