// Time of one lead to the local HTTPS server, a new handle per call, beside the same POST
// made by the curl command-line tool in the same run; and what the compiled-in roots cost.
// Prints figures only.
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/lead.h"
#include "app/root_certificates.h"
#include "app/vendor.h"
#include "tls_test_server.h"

extern char** environ;  // NOLINT(readability-redundant-declaration): POSIX leaves declaring it to the program

namespace {

using Clock = std::chrono::steady_clock;

constexpr int warm_up_runs = 3;
constexpr int timed_runs = 50;

const nlohmann::json payload = {{"phone", "0912 345 678"}, {"productInterest", "Office 2021"}};

double median_ms(const std::function<bool()>& one_lead) {
  for (int i = 0; i < warm_up_runs; ++i) one_lead();
  std::vector<double> times;
  int failures = 0;
  for (int i = 0; i < timed_runs; ++i) {
    const auto start = Clock::now();
    if (!one_lead()) ++failures;
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  if (failures > 0) std::fprintf(stderr, "  %d of %d leads failed\n", failures, timed_runs);
  std::sort(times.begin(), times.end());
  return (times[timed_runs / 2 - 1] + times[timed_runs / 2]) / 2;
}

bool program_lead(const LeadEndpoint& endpoint) { return submit_lead(payload, endpoint).at("ok").get<bool>(); }

// The same request by the command-line tool: same head, same body, same trust.
bool curl_tool_lead(const TlsTestServer& server, const std::string& roots_file, const std::string& body) {
  const std::string site = "https://" + std::string(vendor::site_host);
  std::vector<std::string> args = {"curl",
                                   "--silent",
                                   "--fail",
                                   "--output",
                                   "/dev/null",
                                   "--http1.1",
                                   "--user-agent",
                                   "ureq/2.12.1",
                                   "--header",
                                   "Content-Type: application/json",
                                   "--header",
                                   "Accept: application/json",
                                   "--header",
                                   "Origin: " + site,
                                   "--header",
                                   "Referer: " + site + "/kiem-tra-rui-ro-ban-quyen-windows",
                                   "--header",
                                   "accept-encoding: gzip",
                                   "--compressed",
                                   "--data-binary",
                                   body,
                                   "--location",
                                   "--max-redirs",
                                   "5",
                                   "--proxy",
                                   "",
                                   "--connect-timeout",
                                   "30",
                                   "--max-time",
                                   "60",
                                   "--cacert",
                                   roots_file,
                                   "--connect-to",
                                   std::string(vendor::service_host) +
                                       ":443:127.0.0.1:" + std::to_string(server.port()),
                                   "https://" + std::string(vendor::service_host) + "/api/public/consultation-lead"};
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawnp(&pid, "curl", nullptr, nullptr, argv.data(), environ) != 0) return false;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int main() {
  {
    const TlsTestServer server;
    const std::string bundle = std::string(compiled_in_roots()) + server.ca_pem();
    const std::string bundle_file = (server.dir() / "bundle.pem").string();
    const std::string ca_file = (server.dir() / "ca.pem").string();
    std::ofstream(bundle_file, std::ios::binary) << bundle;
    const std::string body = lead_body(read_lead_form(payload));

    LeadEndpoint with_bundle = server.endpoint();
    with_bundle.roots_pem = bundle;
    const LeadEndpoint with_test_ca = server.endpoint();

    const double program_bundle = median_ms([&] { return program_lead(with_bundle); });
    const double tool_bundle = median_ms([&] { return curl_tool_lead(server, bundle_file, body); });
    const double program_ca = median_ms([&] { return program_lead(with_test_ca); });
    const double tool_ca = median_ms([&] { return curl_tool_lead(server, ca_file, body); });

    std::printf("one lead to a local TLS server, new handle per call, median of %d (ms)\n", timed_runs);
    std::printf("  roots                       submit_lead   curl tool   ratio\n");
    std::printf("  compiled-in + test CA       %11.2f %11.2f %7.2f\n", program_bundle, tool_bundle,
                program_bundle / tool_bundle);
    std::printf("  test CA only                %11.2f %11.2f %7.2f\n", program_ca, tool_ca, program_ca / tool_ca);
    std::printf("compiled-in bundle (%zu bytes): +%.2f ms per lead (%.0f%% of a lead)\n", compiled_in_roots().size(),
                program_bundle - program_ca, 100 * (program_bundle - program_ca) / program_bundle);
  }
}
