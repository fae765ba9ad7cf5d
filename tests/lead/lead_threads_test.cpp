// Leads in flight at once from several threads, each with its own handle: every one must
// come back as its own request, untouched by the others.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "app/lead.h"
#include "server_test_main.h"

namespace {

using nlohmann::json;

constexpr int thread_count = 8;
constexpr int leads_per_thread = 4;

std::string phone_of(int thread, int lead) {
  return "0912 " + std::to_string(100 + thread) + " " + std::to_string(100 + lead);
}

// The request the echo server sends back; its exact bytes are checked elsewhere.
std::string expected_request(const std::string& phone) {
  return expected_lead_request(lead_body(LeadForm{phone, "Windows / Office bản quyền", ""}));
}

TEST(LeadThreads, EveryLeadAnsweredWithItsOwnRequest) {
  const LeadEndpoint endpoint = test_server().endpoint();
  std::vector<std::vector<json>> replies(thread_count);
  std::vector<std::thread> threads;
  threads.reserve(thread_count);
  for (int t = 0; t < thread_count; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < leads_per_thread; ++i)
        replies[t].push_back(submit_lead({{"phone", phone_of(t, i)}}, endpoint));
    });
  }
  for (auto& thread : threads) thread.join();

  for (int t = 0; t < thread_count; ++t) {
    ASSERT_EQ(replies[t].size(), std::size_t{leads_per_thread});
    for (int i = 0; i < leads_per_thread; ++i) {
      SCOPED_TRACE(phone_of(t, i));
      EXPECT_EQ(replies[t][i], to_json(LeadResult{true, expected_request(phone_of(t, i)), std::nullopt}));
    }
  }
}

}  // namespace
