// ipc-replay: runs message texts through the bridge worker's own path (parse, dispatch,
// write, script) and prints what the worker would post to the page. Input: one message text
// per line, written as a JSON string literal, so NUL, line breaks and any other character can
// be given. Output: one line per input line, the callback script or an empty line where the
// worker posts none, flushed at once so that a driver on the other end of a pipe can wait
// for each answer.

#include <charconv>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

#include "app/bridge.h"
#include "app/lead.h"

namespace {

int usage() {
  std::cerr << "usage: ipc-replay [--connect-to HOST:PORT] [--roots FILE.pem] [--service-host H]\n"
               "                  [--site-host H] [--connect-timeout-ms N] [--exchange-timeout-ms N]\n"
               "Reads one message text per line, each a JSON string literal, from standard input.\n";
  return 2;
}

std::optional<std::chrono::milliseconds> milliseconds(std::string_view text) {
  long long value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value <= 0) return std::nullopt;
  return std::chrono::milliseconds(value);
}

std::optional<std::string> file_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// The message text a line spells, or nullopt if the line is not one JSON string literal.
// A raw NUL would end nlohmann's input early, so it is refused first.
std::optional<std::string> message_text(const std::string& line) {
  if (line.find('\0') != std::string::npos) return std::nullopt;
  nlohmann::json literal = nlohmann::json::parse(line, nullptr, false);
  if (!literal.is_string()) return std::nullopt;
  return literal.get<std::string>();
}

}  // namespace

// NOLINTNEXTLINE(bugprone-exception-escape): a test tool; std::terminate naming the exception is the failure wanted
int main(int argc, char** argv) {
  LeadEndpoint endpoint = vendor_endpoint();
  for (int i = 1; i < argc; i += 2) {
    const std::string_view option = argv[i];
    if (i + 1 >= argc) return usage();
    const std::string value = argv[i + 1];
    if (option == "--connect-to") {
      endpoint.connect_to = value;
    } else if (option == "--roots") {
      std::optional<std::string> pem = file_text(value);
      if (!pem) {
        std::cerr << "ipc-replay: cannot read " << value << "\n";
        return 2;
      }
      endpoint.roots_pem = *pem;
    } else if (option == "--service-host") {
      endpoint.host = value;
    } else if (option == "--site-host") {
      endpoint.site_host = value;
    } else if (option == "--connect-timeout-ms" && milliseconds(value)) {
      endpoint.connect_timeout = *milliseconds(value);
    } else if (option == "--exchange-timeout-ms" && milliseconds(value)) {
      endpoint.exchange_timeout = *milliseconds(value);
    } else {
      return usage();
    }
  }

  std::string line;
  for (long number = 1; std::getline(std::cin, line); ++number) {
    std::optional<std::string> script;
    if (std::optional<std::string> text = message_text(line)) {
      script = reply_script(*text, endpoint);
    } else {
      std::cerr << "ipc-replay: line " << number << " is not a JSON string literal\n";
    }
    std::cout << script.value_or("") << '\n' << std::flush;
  }
  return 0;
}
