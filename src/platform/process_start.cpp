#include "platform/process_start.h"

#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <optional>
#include <string_view>

namespace {

std::mutex process_start_lock;

bool is_executable_file(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

// Written by hand because execvp and g_find_program_in_path both read an empty PATH entry
// (and GLib an unset PATH) as the current folder, and a link opener must never run a
// program that happens to lie in whatever folder it was started from. Only absolute
// entries are searched; without PATH nothing is.
std::optional<std::string> find_on_path(std::string_view name) {
  const char* path = std::getenv("PATH");
  if (path == nullptr) return std::nullopt;
  std::string_view rest = path;
  while (true) {
    std::size_t colon = rest.find(':');
    std::string_view folder = rest.substr(0, colon);
    if (folder.starts_with('/')) {
      std::string candidate(folder);
      if (!candidate.ends_with('/')) candidate += '/';
      candidate += name;
      if (is_executable_file(candidate)) return candidate;
    }
    if (colon == std::string_view::npos) return std::nullopt;
    rest.remove_prefix(colon + 1);
  }
}

}  // namespace

bool start_detached(const std::vector<std::string>& argv) {
  if (argv.empty() || argv[0].empty() || argv[0].find('/') != std::string::npos) return false;
  // A NUL would silently cut an argument short on its way into the C strings of exec.
  for (const std::string& arg : argv) {
    if (arg.find('\0') != std::string::npos) return false;
  }
  std::optional<std::string> program = find_on_path(argv[0]);
  if (!program) return false;

  // The file to run, then the child's own argv: it sees its bare name as argv[0].
  std::vector<char*> spawn_argv;
  spawn_argv.reserve(argv.size() + 2);
  spawn_argv.push_back(program->data());
  for (const std::string& arg : argv) spawn_argv.push_back(const_cast<char*>(arg.c_str()));
  spawn_argv.push_back(nullptr);

  // Without G_SPAWN_DO_NOT_REAP_CHILD GLib forks twice and reaps the middle process, so
  // the child is never ours to wait for and never lingers as a zombie. Descriptors above
  // the standard three are closed in the child; the environment and working folder are
  // ours because none are passed.
  auto flags = static_cast<GSpawnFlags>(G_SPAWN_FILE_AND_ARGV_ZERO | G_SPAWN_CHILD_INHERITS_STDIN);
  GError* error = nullptr;
  gboolean started;
  {
    std::lock_guard<std::mutex> hold(process_start_lock);
    started = g_spawn_async(nullptr, spawn_argv.data(), nullptr, flags, nullptr, nullptr, nullptr, &error);
  }
  if (error != nullptr) g_error_free(error);
  return started;
}
