// The native cost of one page message (parse, reply text, callback script) beside plain
// nlohmann::json::parse and dump of the same text, measured in the same run; prints the ratio.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

#include "app/ipc_message.h"
#include "app/reply_text.h"

namespace {

const std::string kRequest = R"({"id":17,"action":"no_such_action","payload":{"url":"https://zalo.me/0901234567"}})";

void NativeMessage(benchmark::State& state) {
  const nlohmann::json reply = {{"error", "Unknown action"}};
  for (auto _ : state) {
    std::optional<IpcMessage> msg = parse_ipc_message(kRequest);
    std::string script = callback_script(msg->id, write_reply(reply));
    benchmark::DoNotOptimize(msg);
    benchmark::DoNotOptimize(script);
  }
}
BENCHMARK(NativeMessage);

void NlohmannParseDump(benchmark::State& state) {
  for (auto _ : state) {
    std::string text = nlohmann::json::parse(kRequest).dump();
    benchmark::DoNotOptimize(text);
  }
}
BENCHMARK(NlohmannParseDump);

// Keeps the console output and remembers each benchmark's time per iteration: the median
// when --benchmark_repetitions asks for several runs, else the one run.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
      nanoseconds_[run.run_name.function_name] = run.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
  double time(const std::string& name) const { return nanoseconds_.at(name); }

 private:
  std::map<std::string, double> nanoseconds_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("one message / nlohmann parse+dump: %.2f\n",
              reporter.time("NativeMessage") / reporter.time("NlohmannParseDump"));
  benchmark::Shutdown();
}
