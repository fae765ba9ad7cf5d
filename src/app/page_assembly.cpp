#include "app/page_assembly.h"

#include <glib.h>

std::string png_data_uri(std::string_view png) {
  gchar* base64 = g_base64_encode(reinterpret_cast<const guchar*>(png.data()), png.size());
  std::string uri = "data:image/png;base64,";
  uri += base64;
  g_free(base64);
  return uri;
}

std::string replace_all(std::string_view text, std::string_view from, std::string_view to) {
  std::string out;
  out.reserve(text.size());
  size_t start = 0;
  for (size_t hit; !from.empty() && (hit = text.find(from, start)) != std::string_view::npos;
       start = hit + from.size()) {
    out.append(text, start, hit - start);
    out.append(to);
  }
  out.append(text, start);
  return out;
}

std::string assemble_page(std::string_view page_html, std::string_view logo_png) {
  return replace_all(page_html, logo_placeholder, png_data_uri(logo_png));
}

std::string profile_folder(std::string_view cache_dir) {
  gchar* path = g_build_filename(std::string(cache_dir).c_str(), "OrvantaTool_WebView2", nullptr);
  std::string folder = path;
  g_free(path);
  return folder;
}
