// The submit_lead action: a consultation lead checked, sent to the vendor's web service
// over HTTPS, and its outcome told back as a LeadResult.
#pragma once

#include <chrono>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

// Where a lead goes. The program always uses vendor_endpoint(); tests and the replay tool
// aim the very same request at a local server.
struct LeadEndpoint {
  std::string host;  // Host line and certificate name
  int port = 443;
  std::string path = "/api/public/consultation-lead";
  std::string site_host;   // named by Origin and Referer
  std::string roots_pem;   // trusted roots; empty: the compiled-in bundle
  std::string connect_to;  // "HOST:PORT" to connect to instead; empty: the host itself
  std::chrono::milliseconds connect_timeout{30'000};
  std::chrono::milliseconds exchange_timeout{60'000};
};

LeadEndpoint vendor_endpoint();

struct LeadResult {
  bool ok = false;
  std::optional<std::string> display_contact;
  std::optional<std::string> error;
};

nlohmann::json to_json(const LeadResult& result);

// What the page's payload asks to send, read with the defaults for missing or mistyped keys.
struct LeadForm {
  std::string phone;    // trimmed, otherwise as typed
  std::string product;  // trimmed
  std::string note;     // trimmed and cut to 480 bytes; empty unless the note is attached
};

LeadForm read_lead_form(const nlohmann::json& payload);

// 9 to 12 ASCII digits, whatever else the text holds.
bool phone_is_plausible(std::string_view phone);

// The JSON text of the lead, as it goes out.
std::string lead_body(const LeadForm& form);

// The action itself; blocks for the whole exchange.
nlohmann::json submit_lead(const nlohmann::json& payload, const LeadEndpoint& endpoint = vendor_endpoint());
