#include "server_test_main.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <exception>
#include <memory>

namespace {

std::unique_ptr<TlsTestServer> server;

class ServerEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    try {
      server = std::make_unique<TlsTestServer>();
    } catch (const std::exception& e) {
      FAIL() << e.what();  // a fatal failure here skips every test
    }
  }
  void TearDown() override { server.reset(); }
};

}  // namespace

const TlsTestServer& test_server() { return *server; }

int main(int argc, char** argv) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new ServerEnvironment);
  const int failed = RUN_ALL_TESTS();
  curl_global_cleanup();
  return failed;
}
