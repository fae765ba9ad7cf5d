// Action names select an action only when they match byte for byte.
#include "app/dispatch.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>

using nlohmann::json;

namespace {

// Any lead that wrongly went out would meet a closed loopback port and come back with a
// connection error, not with the invalid-phone reply.
LeadEndpoint unreachable_endpoint() {
  LeadEndpoint endpoint = vendor_endpoint();
  endpoint.connect_to = "127.0.0.1:1";
  endpoint.connect_timeout = std::chrono::milliseconds(2000);
  return endpoint;
}

TEST(Dispatch, bridge_action_names_match_byte_for_byte) {
  // A wrongly started link would meet the stand-in, which records nothing here.
  // NOLINTBEGIN(concurrency-mt-unsafe): no other thread exists yet
  setenv("PATH", ORVANTA_STAND_IN_DIR, 1);
  unsetenv("XDG_OPEN_RECORD_DIR");
  // NOLINTEND(concurrency-mt-unsafe)

  const json ok = {{"ok", true}};
  const json unknown = {{"error", "Unknown action"}};
  const json invalid_phone = {{"ok", false},
                              {"displayContact", nullptr},
                              {"error", "Vui lòng nhập đúng số điện thoại Zalo hợp lệ (10 số)."}};
  const json refused_link = {{"url", "mailto:sales@example.com"}};
  const json short_phone = {{"phone", "0912 345"}, {"productInterest", "Windows 11 Pro"}};
  struct Case {
    std::string action;
    json payload;
    json reply;
  };
  const Case cases[] = {
      {"open_url", refused_link, ok},
      {"open_url", nullptr, ok},
      {"submit_lead", short_phone, invalid_phone},
      {"submit_lead", nullptr, invalid_phone},
      {"Open_url", refused_link, unknown},
      {"OPEN_URL", refused_link, unknown},
      {"open_url ", refused_link, unknown},
      {" open_url", refused_link, unknown},
      {"open_urls", refused_link, unknown},
      {"open_ur", refused_link, unknown},
      {std::string("open_url\0", 9), refused_link, unknown},
      {"open-url", refused_link, unknown},
      {"Submit_lead", short_phone, unknown},
      {"submit_lead\n", short_phone, unknown},
      {"", nullptr, unknown},
      {"delete_everything", json::object(), unknown},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(dispatch_action(c.action, c.payload, unreachable_endpoint()), c.reply) << json(c.action).dump();
  }
}

}  // namespace
