// The lead request against a real HTTPS server on 127.0.0.1: the bytes that go out, every
// answer the server can give, and the faults of the network and of the server.
#include <gtest/gtest.h>

#include <string>

#include "app/lead.h"
#include "app/reply_text.h"
#include "app/root_certificates.h"
#include "loopback_socket.h"
#include "server_test_main.h"

namespace {

using nlohmann::json;
using std::chrono::milliseconds;

const json payload = {{"phone", " 0912 345 678\t"}, {"productInterest", "Office 2021"}};
const std::string phone = "0912 345 678";

const std::string network_failure = "Không kết nối được mạng tới Orvanta. Bạn có thể nhắn trực tiếp Zalo 0901 234 567.";
const std::string not_sent = "Chưa gửi được yêu cầu. Vui lòng thử nhắn Zalo 0901 234 567.";
std::string server_error(int status) {
  return "Máy chủ phản hồi lỗi HTTP " + std::to_string(status) + ". Vui lòng nhắn Zalo 0901 234 567.";
}

LeadResult delivered(std::string display_contact) { return {true, std::move(display_contact), std::nullopt}; }
LeadResult failed(std::string error) { return {false, std::nullopt, std::move(error)}; }

// Compared as reply text, so that a failure shows both objects in full.
std::string sent(const LeadEndpoint& endpoint, const json& lead = payload) {
  return write_reply(submit_lead(lead, endpoint));
}
std::string text(const LeadResult& result) { return write_reply(to_json(result)); }

TEST(LeadRequest, GoesOutByteForByte) {
  // The server echoes the raw request back as displayContact.
  const json lead = {{"phone", "\u00a0+84 912 345 678 "},
                     {"productInterest", " Office 2021 — bản quyền"},
                     {"includeScanNote", true},
                     {"scanNote", "Máy chưa kích hoạt\nWindows 11 \"Pro\"\n"}};
  const std::string body =
      R"({"contact":"+84 912 345 678","locale":"vi","note":"Máy chưa kích hoạt\nWindows 11 \"Pro\"",)"
      R"("popupSource":"orvanta_tool_exe","productInterest":"Office 2021 — bản quyền","sourcePath":"/orvanta-tool"})";
  EXPECT_EQ(sent(test_server().endpoint(), lead), text(delivered(expected_lead_request(body))));
}

TEST(LeadOutcome, EveryAnswerGivesItsResult) {
  struct Answer {
    int status;
    std::string body;
    std::string encoding;
    LeadResult expected;
  };
  const Answer answers[] = {
      // Status 400 or higher: only the body's "error" string counts.
      {500, R"({"error":"Hệ thống bận"})", "", failed("Hệ thống bận")},
      {422, R"({"error":""})", "", failed("")},
      {400, R"({"ok":true,"displayContact":"x","error":" giữ nguyên "})", "", failed(" giữ nguyên ")},
      {500, R"({"ok":true})", "", failed(server_error(500))},
      {404, "<html>not found</html>", "", failed(server_error(404))},
      {400, R"({"error":5})", "", failed(server_error(400))},
      {503, R"(["error"])", "", failed(server_error(503))},
      {502, "", "", failed(server_error(502))},
      // Below 400 and not JSON: taken as delivered.
      {200, "", "", delivered(phone)},
      {204, "", "", delivered(phone)},
      {200, "cảm ơn", "", delivered(phone)},
      {200, R"({"ok":false} x)", "", delivered(phone)},
      {200, "\xEF\xBB\xBF{\"ok\":false}", "", delivered(phone)},
      {200, std::string("{\"ok\":false}\0", 13), "", delivered(phone)},
      {200, R"({"ok":false)", "", delivered(phone)},
      // Below 400 with "ok" true.
      {200, R"({"ok":true,"displayContact":"Zalo 0912"})", "", delivered("Zalo 0912")},
      {201, R"({"ok":true,"displayContact":""})", "", delivered("")},
      {200, R"({"ok":true,"displayContact":7})", "", delivered(phone)},
      {200, R"({"ok":true,"error":"bỏ qua"})", "", delivered(phone)},
      {302, R"({"ok":true})", "", delivered(phone)},  // no Location: nothing to follow
      // Below 400, JSON, "ok" not true.
      {200, R"({"ok":"true"})", "", failed(not_sent)},
      {200, R"({"ok":1,"error":"Số đã gửi"})", "", failed("Số đã gửi")},
      {200, R"({"ok":false,"displayContact":"x"})", "", failed(not_sent)},
      {200, R"({"ok":false,"error":""})", "", failed("")},
      {200, "\n {\"ok\":false}\t\r\n", "", failed(not_sent)},
      {200, "{}", "", failed(not_sent)},
      {200, "[true]", "", failed(not_sent)},
      {200, R"("ok")", "", failed(not_sent)},
      {200, "null", "", failed(not_sent)},
      // Gzip-encoded replies are decoded; a body that does not decode is unread.
      {200, R"({"ok":true,"displayContact":"đã nén"})", "gzip", delivered("đã nén")},
      {500, R"({"error":"lỗi nén"})", "gzip", failed("lỗi nén")},
      {200, R"({"ok":false})", "bad-gzip", delivered(phone)},
      {500, R"({"error":"x"})", "bad-gzip", failed(server_error(500))},
  };
  for (const Answer& a : answers) {
    SCOPED_TRACE(testing::Message() << a.status << " " << a.encoding << " " << a.body);
    const std::string path = TlsTestServer::reply_path(
        {{"status", std::to_string(a.status)}, {"body", a.body}, {"encoding", a.encoding}});
    EXPECT_EQ(sent(test_server().endpoint(path)), text(a.expected));
  }
}

TEST(LeadFaults, EachEndsInTheRightTextWithoutHanging) {
  const TlsTestServer& server = test_server();
  LoopbackSocket refusing(-1);     // bound but not listening: the connection is refused
  LoopbackSocket full_backlog(0);  // never accepts; once the filler holds the one place, SYNs go unanswered
  full_backlog.connect_filler();
  LoopbackSocket mute(8);  // the kernel completes TCP; no one answers the TLS greeting

  const auto at = [&](const LoopbackSocket& socket) {
    LeadEndpoint endpoint = server.endpoint();
    endpoint.connect_to = "127.0.0.1:" + std::to_string(socket.port());
    endpoint.connect_timeout = milliseconds(300);
    return endpoint;
  };
  const auto trusting = [&](std::string roots, std::string path) {
    LeadEndpoint endpoint = server.endpoint(std::move(path));
    endpoint.roots_pem = std::move(roots);
    return endpoint;
  };
  const auto out_of_time = [&](std::string path) {
    LeadEndpoint endpoint = server.endpoint(std::move(path));
    endpoint.exchange_timeout = milliseconds(500);
    return endpoint;
  };
  const auto reply = [](std::initializer_list<std::pair<std::string_view, std::string>> query) {
    return TlsTestServer::reply_path(query);
  };
  const std::string welcome = R"({"ok":true,"displayContact":"đã nhận"})";
  const std::string long_error = R"({"error":"dài"})";
  const auto padding_to = [&](std::size_t total) { return std::to_string(total - long_error.size()); };
  constexpr std::size_t mebibyte = std::size_t{1024} * 1024;

  struct Fault {
    const char* name;
    LeadEndpoint endpoint;
    LeadResult expected;
  };
  const Fault faults[] = {
      {"connection refused", at(refusing), failed(network_failure)},
      {"connection never completes", at(full_backlog), failed(network_failure)},
      {"TLS handshake never completes", at(mute), failed(network_failure)},
      {"certificate from another CA", trusting(server.other_ca_pem(), reply({{"body", welcome}})),
       failed(network_failure)},
      {"compiled-in roots do not know the test CA", trusting("", reply({{"body", welcome}})), failed(network_failure)},
      {"compiled-in roots with the test CA",
       trusting(std::string(compiled_in_roots()) + server.ca_pem(), reply({{"body", welcome}})), delivered("đã nhận")},
      {"server never answers", out_of_time(reply({{"mode", "silent"}})), failed(network_failure)},
      {"reply head cut off", server.endpoint(reply({{"mode", "broken-head"}})), failed(network_failure)},
      {"body of exactly 1 MiB",
       server.endpoint(reply({{"status", "422"}, {"body", long_error}, {"pad", padding_to(mebibyte)}})), failed("dài")},
      {"body over 1 MiB",
       server.endpoint(reply({{"status", "422"}, {"body", long_error}, {"pad", padding_to(mebibyte + 1)}})),
       failed(server_error(422))},
      {"gzip bomb",
       server.endpoint(reply(
           {{"status", "422"}, {"body", long_error}, {"pad", std::to_string(64 * mebibyte)}, {"encoding", "gzip"}})),
       failed(server_error(422))},
      {"five redirects followed", server.endpoint(reply({{"mode", "redirect"}, {"hops", "5"}, {"body", welcome}})),
       delivered("đã nhận")},
      {"six redirects", server.endpoint(reply({{"mode", "redirect"}, {"hops", "6"}, {"body", welcome}})),
       failed(network_failure)},
      {"redirect to http", server.endpoint(reply({{"mode", "to-http"}})), failed(network_failure)},
      {"body cut off, status 422",
       server.endpoint(reply({{"mode", "cut"}, {"status", "422"}, {"body", R"({"error":"nửa chừng"})"}})),
       failed(server_error(422))},
      {"body cut off, status 200",
       server.endpoint(reply({{"mode", "cut"}, {"body", R"({"ok":false,"error":"nửa chừng"})"}})), delivered(phone)},
      {"time runs out within the body",
       out_of_time(reply({{"mode", "stall"}, {"status", "422"}, {"body", R"({"error":"chậm"})"}})),
       failed(server_error(422))},
  };
  for (const Fault& fault : faults) {
    SCOPED_TRACE(fault.name);
    EXPECT_EQ(sent(fault.endpoint), text(fault.expected));
  }
}

}  // namespace
