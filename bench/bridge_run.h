// One bridge figure as both the program's harness and the floor run it: the same command
// line, the same page script, and one JSON object of the same shape on stdout.
//   round-trips N | burst N | soak
#pragma once

#include <algorithm>
#include <charconv>
#include <chrono>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pss_sampler.h"
#include "scenarios.h"

// Kind by kind, in kB.
inline nlohmann::json median_pss(const std::vector<Pss>& samples) {
  nlohmann::json out;
  for (auto [name, field] : {std::pair{"total", &Pss::total}, std::pair{"anon", &Pss::anon},
                             std::pair{"file", &Pss::file}, std::pair{"shmem", &Pss::shmem}}) {
    std::vector<long> values;
    values.reserve(samples.size());
    for (const Pss& pss : samples) values.push_back(pss.*field);
    std::sort(values.begin(), values.end());
    out[name] = values.empty() ? -1 : values[values.size() / 2];
  }
  return out;
}

struct BridgeRun {
  enum class Kind { RoundTrips, Burst, Soak };
  Kind kind;
  int count = 0;

  static std::optional<BridgeRun> parse(int argc, char** argv) {
    if (argc == 2 && std::string_view(argv[1]) == "soak") return BridgeRun{Kind::Soak, scenario::soak_count};
    if (argc != 3) return std::nullopt;
    const std::string_view digits = argv[2];
    int count = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), count);
    if (error != std::errc{} || end != digits.data() + digits.size() || count <= 0) return std::nullopt;
    if (std::string_view(argv[1]) == "round-trips") return BridgeRun{Kind::RoundTrips, count};
    if (std::string_view(argv[1]) == "burst") return BridgeRun{Kind::Burst, count};
    return std::nullopt;
  }

  std::string page_script() const {
    switch (kind) {
      case Kind::RoundTrips:
        return scenario::round_trips(count);
      case Kind::Burst:
        return scenario::burst(count);
      case Kind::Soak:
        return scenario::soak();
    }
    return {};
  }

  // `posted_at`: when each request reached native code, on the UI thread.
  nlohmann::json figures(const nlohmann::json& report,
                         const std::vector<std::chrono::steady_clock::time_point>& posted_at,
                         const std::vector<PssSampler::Sample>& samples) const {
    using ms = std::chrono::duration<double, std::milli>;
    nlohmann::json out = {{"report", report}, {"posted", posted_at.size()}};
    if (kind == Kind::RoundTrips) {
      nlohmann::json times = nlohmann::json::array();
      for (std::size_t i = 1; i < posted_at.size(); ++i) times.push_back(ms(posted_at[i] - posted_at[i - 1]).count());
      out["round_trip_ms"] = times;
    }
    if (kind == Kind::Soak && posted_at.size() > static_cast<std::size_t>(scenario::soak_warmup)) {
      // The engine's shared buffers come and go by tens of MB from one sample to the next, so
      // each end is the median of the quiet samples there: start, the pause between the
      // warm-up and the first request after it; end, the tail after the last reply.
      const auto soak_start = posted_at[scenario::soak_warmup];
      const auto tail_start = posted_at.back() + std::chrono::seconds(1);
      const auto tail_end = posted_at.back() + std::chrono::milliseconds(scenario::soak_tail_ms);
      std::vector<Pss> start, end;
      nlohmann::json series = nlohmann::json::array();
      for (const auto& sample : samples) {
        if (sample.at < soak_start && sample.at > soak_start - std::chrono::milliseconds(1400))
          start.push_back(sample.pss);
        if (sample.at > tail_start && sample.at < tail_end) end.push_back(sample.pss);
        series.push_back({std::chrono::duration<double>(sample.at - soak_start).count(), sample.pss.total,
                          sample.pss.anon, sample.pss.file, sample.pss.shmem});
      }
      out["pss_start_kb"] = median_pss(start);
      out["pss_end_kb"] = median_pss(end);
      out["soak_seconds"] = std::chrono::duration<double>(posted_at.back() - soak_start).count();
      out["pss_series"] = series;  // seconds from the soak's start, total, anon, file, shmem
    }
    return out;
  }
};
