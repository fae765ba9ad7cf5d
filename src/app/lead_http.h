// The lead's one HTTPS POST, made with libcurl, which it sets up itself at the first call.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/lead.h"

// The final response, once its status line and headers have arrived.
struct LeadReply {
  long status = 0;
  std::optional<std::string> body;  // absent when the body could not be read in full
};

// Sends body as the lead request; nothing (std::nullopt) when no reply head came back:
// the name did not resolve, the connection or the TLS handshake failed, a time-out ran
// out first, the head was broken, or the redirects could not be followed.
std::optional<LeadReply> post_lead(const LeadEndpoint& endpoint, std::string_view body);

// The largest reply body read, counted after gzip decoding.
inline constexpr std::size_t max_reply_body = std::size_t{1024} * 1024;
