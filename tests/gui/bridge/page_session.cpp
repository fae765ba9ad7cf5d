#include "page_session.h"

#include <glib.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <utility>

#include "app/assets.h"
#include "app/bridge.h"
#include "app/event_handler.h"
#include "app/page_assembly.h"
#include "platform/event_loop.h"
#include "platform/main_window.h"
#include "platform/web_view.h"

namespace {

// The harness's own messages: posted straight through window.ipc.postMessage, so they take
// no request number from the page, and recognised by this prefix before any other routing.
constexpr std::string_view harness_prefix = R"({"action":"__harness",)";

constexpr unsigned start_poll_ms = 25;

std::string start_script(std::string_view body, PageLoad page_load, int reloads) {
  // Evaluated again and again until the page's own script has defined callBackend; the
  // flag keeps the scenario from starting twice in one page.
  return std::string(R"(if (typeof callBackend === "function" && !window.__harnessStarted) {
  window.__harnessStarted = true;
  const pageLoad = )") +
         std::to_string(page_load) + R"(, reloads = )" + std::to_string(reloads) +
         R"(;
  const tell = (message) => window.ipc.postMessage(JSON.stringify({ action: "__harness", ...message }));
  const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
  const reloadView = () => tell({ stage: "reload" });
  const loadUri = (uri) => tell({ stage: "load_uri", uri });
  tell({ stage: "started" });
  (async () => {
)" + std::string(body) +
         R"(
  })().then((report) => tell({ stage: "done", report }),
            (error) => tell({ stage: "failed", error: String((error && error.stack) || error) }));
})";
}

class Session {
 public:
  Session(std::string_view body, Routing routing) : body_(body), routing_(std::move(routing)) {}

  ScenarioResult run(const std::string& profile_folder, unsigned time_limit_seconds) {
    std::string error;
    GtkWindow* window = create_main_window(loop_, error);
    window_ = window;
    if (!window) {
      result_.failure = error;
      return std::move(result_);
    }
    auto view = std::make_shared<WebView>(
        window, profile_folder, assemble_page(page_html(), logo_png()),
        [this](std::string_view text, PageLoad page_load) { on_message(text, page_load); },
        [this](const std::string& reason) { stop("engine failure: " + reason); });
    view_ = view.get();

    start_polling();
    time_limit_ = g_timeout_add_seconds(time_limit_seconds, on_time_limit, this);

    // The program's own handler, counted on the way through.
    // The handler alone holds the view, so that the loop's end releases it, as in the program.
    int code = loop_.run_returning([this, view = std::move(view)](const Event& event, ControlFlow& flow) {
      if (event.kind == Event::Kind::UserEvent) ++result_.scripts_delivered;
      event_handler(event, flow, *view);
    });
    // The loop has released the view; nothing may reach it any more.
    view_ = nullptr;
    for (guint* source : {&start_poll_, &time_limit_}) {
      if (*source != 0) g_source_remove(*source);
      *source = 0;
    }
    gtk_window_destroy(window);
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
    if (code != 0 && result_.failure.empty()) result_.failure = "event loop ended with " + std::to_string(code);
    return std::move(result_);
  }

 private:
  void on_message(std::string_view text, PageLoad page_load) {
    if (text.starts_with(harness_prefix)) return on_harness_message(text);
    result_.posted.emplace_back(text);
    result_.posted_at.push_back(std::chrono::steady_clock::now());
    switch (routing_.mode) {
      case Routing::Mode::Bridge:
        ipc_handler(text, page_load, proxy_);
        return;
      case Routing::Mode::Inline:
        if (auto script = reply_script(text)) proxy_.send_event(std::move(*script), page_load);
        return;
      case Routing::Mode::Held:
        held_.emplace_back(text, page_load);
        if (held_.size() == held_needed()) deliver_held();
        return;
    }
  }

  std::size_t held_needed() const {
    return routing_.delivery.empty() ? 0 : *std::max_element(routing_.delivery.begin(), routing_.delivery.end()) + 1;
  }

  void deliver_held() {
    for (std::size_t index : routing_.delivery) {
      const auto& [text, page_load] = held_[index];
      if (auto script = reply_script(text)) proxy_.send_event(std::move(*script), page_load);
    }
  }

  WebKitWebView* web_view() const { return WEBKIT_WEB_VIEW(gtk_window_get_child(window_)); }

  void record_controllers() {
    GListModel* controllers = gtk_widget_observe_controllers(GTK_WIDGET(web_view()));
    for (guint i = 0; i < g_list_model_get_n_items(controllers); ++i) {
      auto* controller = static_cast<GtkEventController*>(g_list_model_get_item(controllers, i));
      result_.controllers.emplace_back(G_OBJECT_TYPE_NAME(controller),
                                       gtk_event_controller_get_propagation_phase(controller) != GTK_PHASE_NONE);
      g_object_unref(controller);
    }
    g_object_unref(controllers);
  }

  void on_harness_message(std::string_view text) {
    nlohmann::json message = nlohmann::json::parse(text, nullptr, false);
    const std::string stage = message.value("stage", "");
    if (stage == "started") {
      if (start_poll_ != 0) g_source_remove(start_poll_);
      start_poll_ = 0;
    } else if (stage == "reload") {
      // As the view's menu does; the scenario starts again in the page that comes.
      ++reloads_;
      webkit_web_view_reload(web_view());
      start_polling();
    } else if (stage == "load_uri") {
      // As a file or link dropped on the window does.
      webkit_web_view_load_uri(web_view(), message.value("uri", "").c_str());
    } else if (stage == "done") {
      result_.report = message["report"];
      record_controllers();
      stop({});
    } else {
      stop("scenario failed: " + message.value("error", std::string(text)));
    }
  }

  // Ends the run the way the window's close does.
  void stop(std::string failure) {
    if (result_.failure.empty()) result_.failure = std::move(failure);
    loop_.deliver({Event::Kind::CloseRequested, {}});
  }

  void start_polling() {
    if (start_poll_ == 0) start_poll_ = g_timeout_add(start_poll_ms, on_start_poll, this);
  }

  static gboolean on_start_poll(gpointer self) {
    auto* session = static_cast<Session*>(self);
    session->view_->evaluate_script(start_script(session->body_, session->view_->page_load(), session->reloads_));
    return G_SOURCE_CONTINUE;
  }

  static gboolean on_time_limit(gpointer self) {
    auto* session = static_cast<Session*>(self);
    session->time_limit_ = 0;
    session->stop(session->start_poll_ != 0 ? "the page's script never ran" : "no report in time");
    return G_SOURCE_REMOVE;
  }

  EventLoop loop_;
  EventLoopProxy proxy_ = loop_.create_proxy();
  std::string body_;
  Routing routing_;
  std::vector<std::pair<std::string, PageLoad>> held_;
  GtkWindow* window_ = nullptr;
  WebView* view_ = nullptr;
  int reloads_ = 0;
  guint start_poll_ = 0;
  guint time_limit_ = 0;
  ScenarioResult result_;
};

}  // namespace

ScenarioResult run_scenario(const std::string& profile_folder, std::string_view body, const Routing& routing,
                            unsigned time_limit_seconds) {
  Session session(body, routing);
  return session.run(profile_folder, time_limit_seconds);
}
