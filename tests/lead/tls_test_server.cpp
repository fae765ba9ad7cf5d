#include "tls_test_server.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "app/vendor.h"

extern char** environ;  // NOLINT(readability-redundant-declaration): POSIX leaves declaring it to the program

namespace {

namespace fs = std::filesystem;

void fail(const std::string& what) { throw std::runtime_error("test server: " + what); }

std::vector<char*> argv_of(std::vector<std::string>& args) {
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  return argv;
}

// Runs a command to its end with its output thrown away; fails unless it exits with 0.
void run(std::vector<std::string> args) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  auto argv = argv_of(args);
  pid_t pid = -1;
  const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) fail("cannot start " + args[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) fail(args[0] + " " + args[1] + " failed");
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  if (!in) fail("cannot read " + path.string());
  return text.str();
}

void make_ca(const fs::path& dir, const std::string& name) {
  run({"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2",
       "-subj", "/CN=Lead Test " + name, "-keyout", (dir / (name + ".key")).string(), "-out",
       (dir / (name + ".pem")).string()});
}

}  // namespace

TlsTestServer::TlsTestServer() {
  std::string pattern = (fs::temp_directory_path() / "lead-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) fail("cannot make a temporary folder");
  dir_ = pattern;

  make_ca(dir_, "ca");
  make_ca(dir_, "other-ca");
  const std::string host(vendor::service_host);
  run({"openssl", "req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-subj", "/CN=" + host,
       "-keyout", (dir_ / "server.key").string(), "-out", (dir_ / "server.csr").string()});
  std::ofstream(dir_ / "server.ext") << "subjectAltName=DNS:" << host
                                     << "\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n";
  run({"openssl", "x509", "-req", "-days", "2", "-in", (dir_ / "server.csr").string(), "-CA",
       (dir_ / "ca.pem").string(), "-CAkey", (dir_ / "ca.key").string(), "-CAcreateserial", "-extfile",
       (dir_ / "server.ext").string(), "-out", (dir_ / "server.pem").string()});
  ca_pem_ = read_file(dir_ / "ca.pem");
  other_ca_pem_ = read_file(dir_ / "other-ca.pem");

  int to_server[2], from_server[2];
  if (pipe2(to_server, O_CLOEXEC) != 0 || pipe2(from_server, O_CLOEXEC) != 0) fail("pipe");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, to_server[0], 0);
  posix_spawn_file_actions_adddup2(&actions, from_server[1], 1);
  std::vector<std::string> args = {"/usr/bin/python3", LEAD_SERVER_SCRIPT, (dir_ / "server.pem").string(),
                                   (dir_ / "server.key").string()};
  auto argv = argv_of(args);
  const int spawned = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(to_server[0]);
  close(from_server[1]);
  stdin_fd_ = to_server[1];
  if (spawned != 0) {
    close(from_server[0]);
    fail("cannot start python3");
  }

  // The first line tells the ports; a server that says nothing in time counts as broken.
  std::string line;
  pollfd ready{from_server[0], POLLIN, 0};
  char c = 0;
  while (line.find('\n') == std::string::npos && poll(&ready, 1, 10'000) == 1 && read(from_server[0], &c, 1) == 1) {
    line += c;
  }
  close(from_server[0]);
  std::istringstream(line) >> port_;
  if (port_ <= 0) fail("no port from lead_server.py");
}

TlsTestServer::~TlsTestServer() {
  if (stdin_fd_ >= 0) close(stdin_fd_);
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  std::error_code ignored;
  fs::remove_all(dir_, ignored);
}

LeadEndpoint TlsTestServer::endpoint(std::string path) const {
  LeadEndpoint endpoint = vendor_endpoint();
  endpoint.path = std::move(path);
  endpoint.roots_pem = ca_pem_;
  endpoint.connect_to = "127.0.0.1:" + std::to_string(port_);
  endpoint.connect_timeout = std::chrono::seconds(5);
  endpoint.exchange_timeout = std::chrono::seconds(10);
  return endpoint;
}

std::string TlsTestServer::reply_path(std::initializer_list<std::pair<std::string_view, std::string>> query) {
  std::string path = "/reply";
  char separator = '?';
  for (const auto& [key, value] : query) {
    char* escaped = curl_easy_escape(nullptr, value.data(), static_cast<int>(value.size()));
    path += separator;
    path += key;
    path += '=';
    path += escaped;
    curl_free(escaped);
    separator = '&';
  }
  return path;
}
