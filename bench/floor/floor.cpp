// The floor the program is measured against: a GTK 4 window with a WebKitGTK view that shows
// the same assembled page, with the same window as the program (src/platform/main_window.cpp:
// keep it in step) and the very view the program makes (src/platform/page_web_view.cpp),
// and the program's one tuning of the process (the mmap threshold in src/main.cpp), so that
// the soak compares the same allocator; nothing else: no event loop of ours, no bridge, no
// actions, no threads, no libcurl.
//
//   orvanta-floor                 opens the page and waits, as the program does
//   orvanta-floor round-trips N   runs a bridge figure, prints it as JSON and exits; every
//   orvanta-floor burst N         request is answered at once on the UI thread
//   orvanta-floor soak
#include <gtk/gtk.h>
#include <malloc.h>
#include <unistd.h>
#include <webkit/webkit.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/assets.h"
#include "app/page_assembly.h"
#include "app/vendor.h"
#include "bridge_run.h"
#include "platform/page_web_view.h"

namespace {

using Clock = std::chrono::steady_clock;

;

// The run's own messages, told apart from the page's requests by their first bytes.
constexpr std::string_view report_prefix = R"({"action":"__bench",)";

struct Floor {
  GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
  WebKitWebView* view = nullptr;
  std::optional<BridgeRun> run;
  std::unique_ptr<PssSampler> sampler;
  std::vector<Clock::time_point> posted_at;
  nlohmann::json result;
};

void on_script_done(GObject* view, GAsyncResult* result, gpointer) {
  GError* error = nullptr;
  if (JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(view), result, &error))
    g_object_unref(value);
  g_clear_error(&error);
}

void evaluate(Floor& floor, const std::string& script) {
  webkit_web_view_evaluate_javascript(floor.view, script.data(), static_cast<gssize>(script.size()), nullptr, nullptr,
                                      nullptr, on_script_done, nullptr);
}

// The least an answer can cost: the number read straight from the page's text (it always
// starts {"id":N,) and a fixed reply, evaluated at once on this thread.
void answer(Floor& floor, std::string_view text) {
  constexpr std::string_view head = R"({"id":)";
  if (!text.starts_with(head)) return;
  std::uint64_t id = 0;
  std::from_chars(text.data() + head.size(), text.data() + text.size(), id);
  evaluate(floor, "window.__ovCallback(" + std::to_string(id) + R"(, {"error":"Unknown action"});)");
}

void on_report(Floor& floor, std::string_view text) {
  nlohmann::json message = nlohmann::json::parse(text, nullptr, false);
  if (floor.sampler) floor.sampler->stop();
  floor.result = message.value("stage", "") == "done"
                     ? floor.run->figures(message["report"], floor.posted_at,
                                          floor.sampler ? floor.sampler->samples() : std::vector<PssSampler::Sample>{})
                     : nlohmann::json{{"failure", message.value("error", std::string(text))}};
  g_main_loop_quit(floor.loop);
}

void on_script_message(WebKitUserContentManager*, JSCValue* value, gpointer data) {
  auto& floor = *static_cast<Floor*>(data);
  if (!floor.run || !jsc_value_is_string(value)) return;
  const auto arrived = Clock::now();
  GBytes* bytes = jsc_value_to_string_as_bytes(value);
  gsize size = 0;
  const auto* bytes_data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
  std::string_view text(bytes_data ? bytes_data : "", size);
  if (text.starts_with(report_prefix)) {
    on_report(floor, text);
  } else {
    floor.posted_at.push_back(arrived);
    answer(floor, text);
  }
  g_bytes_unref(bytes);
}

void on_load_changed(WebKitWebView*, WebKitLoadEvent event, gpointer data) {
  auto& floor = *static_cast<Floor*>(data);
  if (event != WEBKIT_LOAD_FINISHED || !floor.run) return;
  // The page's own script has run by now: callBackend exists.
  const std::string report =
      R"((stage, extra) => window.ipc.postMessage(JSON.stringify({ action: "__bench", stage, ...extra })))";
  evaluate(floor, "{ const tell = " + report +
                      ";\n"
                      "  const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));\n"
                      "  (async () => {\n" +
                      floor.run->page_script() +
                      "\n  })().then(\n"
                      "    (report) => tell(\"done\", { report }),\n"
                      "    (error) => tell(\"failed\", { error: String((error && error.stack) || error) })); }");
}

gboolean on_close_request(GtkWindow*, gpointer data) {
  g_main_loop_quit(static_cast<Floor*>(data)->loop);
  return TRUE;
}

WebKitWebView* create_view(GtkWindow* window, Floor& floor) {
  const std::string profile = profile_folder(g_get_user_cache_dir());
  auto* view = new_page_web_view(profile, G_CALLBACK(on_script_message), &floor);
  g_signal_connect(view, "load-changed", G_CALLBACK(on_load_changed), &floor);

  gtk_widget_set_size_request(GTK_WIDGET(view), 500, 480);
  gtk_window_set_child(window, GTK_WIDGET(view));
  gtk_widget_grab_focus(GTK_WIDGET(view));
  return view;
}

}  // namespace

int main(int argc, char** argv) {
  mallopt(M_MMAP_THRESHOLD, 1024 * 1024);  // NOLINT(concurrency-mt-unsafe): no other thread exists yet
  Floor floor;
  if (argc > 1) {
    floor.run = BridgeRun::parse(argc, argv);
    if (!floor.run) {
      std::fprintf(stderr, "usage: %s [round-trips N | burst N | soak]\n", argv[0]);
      return 2;
    }
  }
  if (!gtk_init_check()) {
    std::fprintf(stderr, "cannot open display\n");
    return 1;
  }
  auto* window = GTK_WINDOW(gtk_window_new());
  gtk_window_set_title(window, std::string(vendor::window_title).c_str());
  gtk_window_set_default_size(window, 820, 620);
  g_signal_connect(window, "close-request", G_CALLBACK(on_close_request), &floor);
  gtk_window_present(window);

  floor.view = create_view(window, floor);
  if (floor.run && floor.run->kind == BridgeRun::Kind::Soak)
    floor.sampler = std::make_unique<PssSampler>(std::chrono::milliseconds(250));
  const std::string page = assemble_page(page_html(), logo_png());
  webkit_web_view_load_html(floor.view, page.c_str(), nullptr);

  g_main_loop_run(floor.loop);
  if (floor.run) std::printf("%s\n", floor.result.dump().c_str());
  std::fflush(stdout);
  // Like the program: no teardown of the engine on the way out.
  _exit(floor.result.contains("failure") ? 1 : 0);
}
