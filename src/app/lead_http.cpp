#include "app/lead_http.h"

#include <glib.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "app/curl_library.h"
#include "app/root_certificates.h"

namespace {

constexpr const char* user_agent = "ureq/2.12.1";

// Only ever holding what curl_library() made, so the library is open.
struct CurlDeleter {
  void operator()(CURL* curl) const { curl_library()->easy_cleanup(curl); }
  void operator()(curl_slist* list) const { curl_library()->slist_free_all(list); }
};
using CurlHandle = std::unique_ptr<CURL, CurlDeleter>;
using CurlList = std::unique_ptr<curl_slist, CurlDeleter>;

// What the callbacks learn while the exchange runs.
struct Exchange {
  CURL* curl = nullptr;
  std::string body;
  bool head_has_location = false;
  // The head of a response that curl will not follow further has come in whole.
  bool final_head_arrived = false;
};

// curl hands over every head line of every response, redirects and 1xx included; only a
// complete head that ends the chain means that a reply came back.
size_t on_header(char* data, size_t size, size_t count, void* user) {
  auto& exchange = *static_cast<Exchange*>(user);
  const std::string_view line(data, size * count);
  if (line.starts_with("HTTP/")) {
    exchange.body.clear();
    exchange.head_has_location = false;
    exchange.final_head_arrived = false;
  } else if (line.size() >= 9 && g_ascii_strncasecmp(line.data(), "location:", 9) == 0) {
    exchange.head_has_location = true;
  } else if (line == "\r\n" || line == "\n") {
    long status = 0;
    curl_library()->easy_getinfo(exchange.curl, CURLINFO_RESPONSE_CODE, &status);
    const bool followed = status >= 300 && status < 400 && exchange.head_has_location;
    exchange.final_head_arrived = status >= 200 && !followed;
  }
  return size * count;
}

// Returning short of the count makes curl stop with CURLE_WRITE_ERROR, which bounds a
// huge or endless body and a gzip bomb alike (curl counts decoded bytes here).
size_t on_body(char* data, size_t size, size_t count, void* user) {
  auto& exchange = *static_cast<Exchange*>(user);
  const size_t length = size * count;
  if (exchange.body.size() + length > max_reply_body) return 0;
  exchange.body.append(data, length);
  return length;
}

CurlList append(CurlList list, const std::string& line) {
  // The same list comes back one node longer; nullptr only when out of memory.
  curl_slist* grown = curl_library()->slist_append(list.release(), line.c_str());
  if (grown == nullptr) std::abort();
  return CurlList(grown);
}

std::string target_url(const LeadEndpoint& endpoint) {
  std::string url = "https://" + endpoint.host;
  if (endpoint.port != 443) url.append(":").append(std::to_string(endpoint.port));
  return url + endpoint.path;
}

}  // namespace

std::optional<LeadReply> post_lead(const LeadEndpoint& endpoint, std::string_view body) {
  const CurlLibrary* library = curl_library();
  if (library == nullptr) return std::nullopt;  // no HTTP client: nothing can be sent
  const CurlLibrary& lib = *library;
  CurlHandle handle(lib.easy_init());
  if (!handle) std::abort();  // out of memory
  CURL* curl = handle.get();

  // The client adds Host, User-Agent and Content-Length; these stand between them in
  // this order on the wire.
  const std::string site = "https://" + endpoint.site_host;
  CurlList headers;
  headers = append(std::move(headers), "Content-Type: application/json");
  headers = append(std::move(headers), "Accept: application/json");
  headers = append(std::move(headers), "Origin: " + site);
  headers = append(std::move(headers), "Referer: " + site + "/kiem-tra-rui-ro-ban-quyen-windows");
  headers = append(std::move(headers), "accept-encoding: gzip");

  CurlList connect_to;
  if (!endpoint.connect_to.empty()) {
    const std::string rule = endpoint.host + ":" + std::to_string(endpoint.port) + ":" + endpoint.connect_to;
    connect_to = append(std::move(connect_to), rule);
  }

  const std::string_view roots = endpoint.roots_pem.empty() ? compiled_in_roots() : endpoint.roots_pem;
  curl_blob roots_blob{const_cast<char*>(roots.data()), roots.size(), CURL_BLOB_NOCOPY};

  Exchange exchange;
  exchange.curl = curl;
  const std::string url = target_url(endpoint);

  // Every option counts: a lead sent without one of them (say, over a redirect to plain
  // http) is worse than a lead not sent.
  const bool configured =
      lib.easy_setopt(curl, CURLOPT_URL, url.c_str()) == CURLE_OK &&
      lib.easy_setopt(curl, CURLOPT_HTTP_VERSION, long{CURL_HTTP_VERSION_1_1}) == CURLE_OK &&
      lib.easy_setopt(curl, CURLOPT_USERAGENT, user_agent) == CURLE_OK &&
      lib.easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get()) == CURLE_OK &&
      lib.easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "gzip") == CURLE_OK &&
      lib.easy_setopt(curl, CURLOPT_POSTFIELDS, body.data()) == CURLE_OK &&
      lib.easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size())) == CURLE_OK &&
      lib.easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(endpoint.connect_timeout.count())) ==
          CURLE_OK &&
      lib.easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(endpoint.exchange_timeout.count())) == CURLE_OK &&
      lib.easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK &&
      lib.easy_setopt(curl, CURLOPT_MAXREDIRS, 5L) == CURLE_OK &&
      lib.easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "https") == CURLE_OK &&
      lib.easy_setopt(curl, CURLOPT_PROXY, "") == CURLE_OK && lib.easy_setopt(curl, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
      lib.easy_setopt(curl, CURLOPT_CAINFO_BLOB, &roots_blob) == CURLE_OK &&
      // Without clearing these, curl would still consult the system's store beside the blob.
      lib.easy_setopt(curl, CURLOPT_CAINFO, nullptr) == CURLE_OK &&
      lib.easy_setopt(curl, CURLOPT_CAPATH, nullptr) == CURLE_OK &&
      lib.easy_setopt(curl, CURLOPT_CONNECT_TO, connect_to.get()) == CURLE_OK &&
      lib.easy_setopt(curl, CURLOPT_HEADERFUNCTION, on_header) == CURLE_OK &&
      lib.easy_setopt(curl, CURLOPT_HEADERDATA, &exchange) == CURLE_OK &&
      lib.easy_setopt(curl, CURLOPT_WRITEFUNCTION, on_body) == CURLE_OK &&
      lib.easy_setopt(curl, CURLOPT_WRITEDATA, &exchange) == CURLE_OK;
  if (!configured) return std::nullopt;

  const CURLcode result = lib.easy_perform(curl);
  // Checked even after CURLE_OK: curl takes a connection closed inside the head for its end.
  if (!exchange.final_head_arrived) return std::nullopt;

  LeadReply reply;
  lib.easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.status);
  // A failure after the head (cut off, bad gzip, too long, out of time) leaves the body unread.
  if (result == CURLE_OK) reply.body = std::move(exchange.body);
  return reply;
}
