// The program's side of the bridge figures: the real page in the real window and web view,
// answered by the real ipc_handler, worker threads and event loop (through the display
// tests' page session). Same command line and output as the floor's:
//   bridge-bench round-trips N | burst N | soak
#include <glib.h>

#include <cstdio>
#include <memory>

#include "app/page_assembly.h"
#include "bridge_run.h"
#include "page_session.h"

int main(int argc, char** argv) {
  std::optional<BridgeRun> run = BridgeRun::parse(argc, argv);
  if (!run) {
    std::fprintf(stderr, "usage: %s round-trips N | burst N | soak\n", argv[0]);
    return 2;
  }
  std::unique_ptr<PssSampler> sampler;
  if (run->kind == BridgeRun::Kind::Soak) sampler = std::make_unique<PssSampler>(std::chrono::milliseconds(250));

  ScenarioResult result = run_scenario(profile_folder(g_get_user_cache_dir()), run->page_script(), Routing::bridge(),
                                       /*time_limit_seconds=*/600);
  if (sampler) sampler->stop();
  if (!result.failure.empty()) {
    std::printf("%s\n", nlohmann::json{{"failure", result.failure}}.dump().c_str());
    return 1;
  }
  const std::vector<PssSampler::Sample> no_samples;
  std::printf("%s\n", run->figures(result.report, result.posted_at, sampler ? sampler->samples() : no_samples)
                          .dump()
                          .c_str());
  return 0;
}
