// Feeds arbitrary bytes to the message parser. For every text it accepts: parsing again gives
// the same message, the payload written as a reply reads back equal to itself, and the
// message written back as an object parses to the same message.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "app/ipc_message.h"
#include "app/reply_text.h"

namespace {

bool same(const IpcMessage& a, const IpcMessage& b) {
  return a.id == b.id && a.action == b.action && a.payload == b.payload;
}

void check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "property broken: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::optional<IpcMessage> msg = parse_ipc_message(text);
  if (!msg) return 0;

  const std::optional<IpcMessage> again = parse_ipc_message(text);
  check(again && same(*msg, *again), "parsing the same text twice differs");

  // A parsed payload holds valid UTF-8 and finite numbers only, so it is always writable.
  const std::string reply = write_reply(msg->payload);
  check(reply != "null" || msg->payload.is_null(), "a parsed payload could not be written");
  const nlohmann::json reread = nlohmann::json::parse(reply, nullptr, false);
  check(!reread.is_discarded() && reread == msg->payload, "the written payload does not read back equal");

  const nlohmann::json rebuilt = {{"id", msg->id}, {"action", msg->action}, {"payload", msg->payload}};
  const std::optional<IpcMessage> round_trip = parse_ipc_message(write_reply(rebuilt));
  check(round_trip && same(*msg, *round_trip), "the message written back does not parse to itself");
  return 0;
}
