// A real HTTPS server on 127.0.0.1 for the lead tests and the bench: a throw-away test CA
// made with openssl, and lead_server.py serving a certificate for the vendor's service host.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "app/lead.h"

class TlsTestServer {
 public:
  TlsTestServer();  // throws std::runtime_error when a step fails
  ~TlsTestServer();
  TlsTestServer(const TlsTestServer&) = delete;
  TlsTestServer& operator=(const TlsTestServer&) = delete;

  const std::string& ca_pem() const { return ca_pem_; }
  const std::string& other_ca_pem() const { return other_ca_pem_; }  // signed nothing here
  const std::filesystem::path& dir() const { return dir_; }          // ca.pem lives here
  int port() const { return port_; }

  // The vendor's endpoint, connected to this server instead, trusting the test CA, with
  // time-outs short enough that no test waits long.
  LeadEndpoint endpoint(std::string path = "/api/public/consultation-lead") const;

  // "/reply?k=v&..." with each value percent-encoded; see lead_server.py for the keys.
  static std::string reply_path(std::initializer_list<std::pair<std::string_view, std::string>> query);

 private:
  std::filesystem::path dir_;
  std::string ca_pem_;
  std::string other_ca_pem_;
  pid_t pid_ = -1;
  int stdin_fd_ = -1;  // closing it ends the server
  int port_ = 0;
};
