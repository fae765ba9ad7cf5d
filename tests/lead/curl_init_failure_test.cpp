// A libcurl whose curl_global_init fails, as it does when its TLS library cannot start:
// the lead sends nothing and answers with the network-failure text; the program goes on.
// Run with the stand-in libcurl.so.4 of failing_curl/ first on LD_LIBRARY_PATH.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "app/curl_library.h"
#include "app/lead.h"
#include "app/reply_text.h"
#include "loopback_socket.h"

TEST(CurlLibrary, ASetUpThatFailsSendsNothingAndGivesTheNetworkFailureText) {
  LoopbackSocket listener(8);
  LeadEndpoint endpoint = vendor_endpoint();
  endpoint.connect_to = "127.0.0.1:" + std::to_string(listener.port());

  for (int lead = 0; lead < 2; ++lead) {
    EXPECT_EQ(write_reply(submit_lead({{"phone", "0912345678"}}, endpoint)),
              R"({"displayContact":null,"error":"Không kết nối được mạng tới Orvanta. )"
              R"(Bạn có thể nhắn trực tiếp Zalo 0901 234 567.","ok":false})");
  }
  EXPECT_EQ(curl_library(), nullptr);
  EXPECT_FALSE(listener.has_pending_connection());

  // The stand-in was the library opened, and its set-up was tried once, not at every lead.
  void* library = dlopen("libcurl.so.4", RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(library, nullptr);
  const auto* calls = static_cast<const int*>(dlsym(library, "failing_curl_global_init_calls"));
  ASSERT_NE(calls, nullptr) << "the stand-in libcurl.so.4 was not the one opened";
  EXPECT_EQ(*calls, 1);
  dlclose(library);
}
