// One run of the real page in a real window and web view, with the real event handler and
// the real bridge, driven by test script evaluated in the page.
#pragma once

#include <chrono>
#include <cstddef>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Where the texts the page posts go.
struct Routing {
  enum class Mode {
    Bridge,  // the real ipc_handler: a worker thread for each text
    Inline,  // the worker's path run on the UI thread itself: the baseline for timings
    Held,    // held back, then their reply scripts posted in a chosen order
  };
  Mode mode = Mode::Bridge;
  // Held: once every text named here has arrived, the reply script of each is posted
  // through the loop's proxy in this order (an index may repeat), for the page load that
  // posted the text.
  std::vector<std::size_t> delivery;

  static Routing bridge() { return {}; }
  static Routing inline_on_ui_thread() { return {Mode::Inline, {}}; }
  static Routing held(std::vector<std::size_t> delivery) { return {Mode::Held, std::move(delivery)}; }
};

struct ScenarioResult {
  nlohmann::json report;            // what the scenario's script returned
  std::string failure;              // why it has no report; empty when it has one
  std::vector<std::string> posted;  // every text the page posted, in order, harness reports left out
  std::vector<std::chrono::steady_clock::time_point> posted_at;  // when each reached the UI thread
  int scripts_delivered = 0;  // user events the event loop handed to the event handler
  // The web view's event controllers when the report came: type name, and whether events
  // reach it (its propagation phase is not GTK_PHASE_NONE).
  std::vector<std::pair<std::string, bool>> controllers;
};

// Opens the window with the assembled page, waits until the page's script has run, then runs
// `body` in it as the body of an async function; the value it returns is the report. In scope:
// sleep(ms); pageLoad, the view's load number of this page; reloadView(), after which the
// native view reloads as its menu's Reload does and `body` runs again in the page that comes,
// where `reloads`, the number of reloadView() calls so far, is one higher;
// loadUri(uri), after which the native view is asked to load `uri`, as a dropped file or link
// asks it. Gives up after `time_limit_seconds`.
ScenarioResult run_scenario(const std::string& profile_folder, std::string_view body,
                            const Routing& routing = Routing::bridge(), unsigned time_limit_seconds = 60);
