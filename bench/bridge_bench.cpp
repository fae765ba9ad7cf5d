// The program's side of the bridge figures: the real page in the real window and web view,
// answered by the real ipc_handler, worker threads and event loop (through the display
// tests' page session). Same command line and output as the floor's:
//   bridge-bench round-trips N | burst N | soak  [--on-ui-thread]
// --on-ui-thread runs the worker's whole job on the UI thread instead (still handed back
// through the event loop): what the thread start and hand-over cost, shown apart.
#include <glib.h>
#include <malloc.h>

#include <cstdio>
#include <memory>
#include <string_view>

#include "app/page_assembly.h"
#include "bridge_run.h"
#include "page_session.h"

int main(int argc, char** argv) {
  // As the program's main() does first (src/main.cpp: keep them in step).
  mallopt(M_MMAP_THRESHOLD, 1024 * 1024);  // NOLINT(concurrency-mt-unsafe): no other thread exists yet
  const bool on_ui_thread = argc > 1 && std::string_view(argv[argc - 1]) == "--on-ui-thread";
  if (on_ui_thread) --argc;
  std::optional<BridgeRun> run = BridgeRun::parse(argc, argv);
  if (!run) {
    std::fprintf(stderr, "usage: %s round-trips N | burst N | soak  [--on-ui-thread]\n", argv[0]);
    return 2;
  }
  std::unique_ptr<PssSampler> sampler;
  if (run->kind == BridgeRun::Kind::Soak) sampler = std::make_unique<PssSampler>(std::chrono::milliseconds(250));

  ScenarioResult result = run_scenario(profile_folder(g_get_user_cache_dir()), run->page_script(),
                                       on_ui_thread ? Routing::inline_on_ui_thread() : Routing::bridge(),
                                       /*time_limit_seconds=*/600);
  if (sampler) sampler->stop();
  if (!result.failure.empty()) {
    std::printf("%s\n", nlohmann::json{{"failure", result.failure}}.dump().c_str());
    return 1;
  }
  const std::vector<PssSampler::Sample> no_samples;
  std::printf("%s\n",
              run->figures(result.report, result.posted_at, sampler ? sampler->samples() : no_samples).dump().c_str());
  return 0;
}
