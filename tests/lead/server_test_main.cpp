#include "server_test_main.h"

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
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new ServerEnvironment);
  return RUN_ALL_TESTS();
}

std::string expected_lead_request(const std::string& body) {
  return "POST /api/public/consultation-lead HTTP/1.1\r\n"
         "Host: api.orvanta.vn\r\n"
         "User-Agent: ureq/2.12.1\r\n"
         "Content-Type: application/json\r\n"
         "Accept: application/json\r\n"
         "Origin: https://orvanta.vn\r\n"
         "Referer: https://orvanta.vn/kiem-tra-rui-ro-ban-quyen-windows\r\n"
         "accept-encoding: gzip\r\n"
         "Content-Length: " +
         std::to_string(body.size()) +
         "\r\n"
         "\r\n" +
         body;
}
