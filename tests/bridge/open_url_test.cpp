// Link opening against a recording xdg-open stand-in put first on PATH: what starts, with
// which arguments, and what never starts.
#include "app/open_url.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/process_start.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

const fs::path stand_in_dir = ORVANTA_STAND_IN_DIR;

// One run of the stand-in, as it wrote it down.
struct StandInRun {
  std::string program;
  std::string working_folder;
  std::vector<std::string> open_fds;
  std::vector<std::string> args;
};

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, separator)) parts.push_back(part);
  return parts;
}

StandInRun read_run(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> fields = split(bytes, '\0');
  EXPECT_GE(fields.size(), 4u) << file;
  if (fields.size() < 4) return {};
  StandInRun run{fields[0], fields[1], split(fields[2], ' '), {fields.begin() + 4, fields.end()}};
  EXPECT_EQ(std::to_string(run.args.size()), fields[3]) << "argument count of " << file;
  return run;
}

// Processes whose parent is this test, in any state. A start that GLib forks twice leaves
// none: the middle process is reaped at once and the program's parent is init.
std::vector<std::string> child_processes() {
  std::vector<std::string> children;
  const std::string me = std::to_string(getpid());
  for (const auto& entry : fs::directory_iterator("/proc")) {
    std::ifstream status(entry.path() / "status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.starts_with("PPid:") && line.substr(line.find_first_not_of(" \t", 5)) == me) {
        children.push_back(entry.path().filename());
      }
    }
  }
  return children;
}

class LinkOpening : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/bridge-open-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    scratch_ = pattern;
    records_ = scratch_ / "records";
    fs::create_directory(records_);
    setenv("XDG_OPEN_RECORD_DIR", records_.c_str(), 1);  // NOLINT(concurrency-mt-unsafe): one thread
    use_path(stand_in_dir.string());
    // Whatever a faulty start might run lands here, not in the tree.
    home_ = fs::current_path();
    fs::current_path(scratch_);
  }
  void TearDown() override {
    fs::current_path(home_);
    fs::remove_all(scratch_);
  }

  // NOLINTNEXTLINE(concurrency-mt-unsafe): these tests run on one thread
  static void use_path(const std::string& path) { setenv("PATH", path.c_str(), 1); }

  std::vector<fs::path> finished_records() const {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(records_)) {
      if (!entry.path().filename().string().ends_with(".part")) files.push_back(entry.path());
    }
    return files;
  }

  // The stand-in runs detached, so its record shows up a little after the start.
  std::vector<StandInRun> wait_for_runs(std::size_t count) const {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (finished_records().size() < count && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::vector<StandInRun> runs;
    for (const fs::path& file : finished_records()) runs.push_back(read_run(file));
    return runs;
  }

  fs::path home_;
  fs::path scratch_;
  fs::path records_;
};

std::vector<std::string> links_of(const std::vector<StandInRun>& runs) {
  std::vector<std::string> links;
  for (const StandInRun& run : runs) {
    EXPECT_EQ(run.args.size(), 1u) << "xdg-open takes the link as its only argument";
    if (!run.args.empty()) links.push_back(run.args[0]);
  }
  std::sort(links.begin(), links.end());
  return links;
}

TEST_F(LinkOpening, bridge_accepted_links_start_xdg_open_once_each_with_the_link_alone) {
  std::vector<std::string> links = {
      "https://zalo.me/0901234567",
      "http://example.com/path?q=1#top",
      "tel:",
      "tel:+84901234567",
      "https://",
      "https://example.com/đường dẫn có dấu cách\tvà tab/🙂",
  };
  for (const std::string& link : links) {
    EXPECT_EQ(open_url(json{{"url", link}}), (json{{"ok", true}})) << link;
  }
  // Other keys beside url are ignored.
  EXPECT_EQ(open_url(json{{"url", "https://a.example"}, {"title", 5}, {"URL", "x"}}), (json{{"ok", true}}));
  links.emplace_back("https://a.example");

  std::vector<StandInRun> runs = wait_for_runs(links.size());
  std::sort(links.begin(), links.end());
  EXPECT_EQ(links_of(runs), links);
  for (const StandInRun& run : runs) {
    EXPECT_EQ(fs::path(run.program), stand_in_dir / "xdg-open");
    EXPECT_EQ(fs::path(run.working_folder), fs::current_path()) << "the program's own working folder";
  }
}

TEST_F(LinkOpening, bridge_refused_links_and_payloads_start_nothing) {
  const char* payloads[] = {
      R"({"url":"HTTPS://example.com"})",
      R"({"url":"Http://example.com"})",
      R"({"url":"TEL:123"})",
      R"({"url":" https://example.com"})",
      R"({"url":"https:/example.com"})",
      R"({"url":"http:example.com"})",
      R"({"url":"tel"})",
      R"({"url":"mailto:sales@example.com"})",
      R"({"url":"file:///etc/passwd"})",
      R"j({"url":"javascript:alert(1)"})j",
      R"({"url":""})",
      R"({})",
      R"({"URL":"https://example.com"})",
      R"({"Url":"https://example.com"})",
      R"({"url":null})",
      R"({"url":1})",
      R"({"url":true})",
      R"({"url":["https://example.com"]})",
      R"({"url":{"href":"https://example.com"}})",
      R"(null)",
      R"("https://example.com")",
      R"(["https://example.com"])",
      R"({"url":"https://example.com\u0000.evil"})",
      R"({"url":"tel:\u0000"})",
  };
  for (const char* text : payloads) {
    EXPECT_EQ(open_url(json::parse(text)), (json{{"ok", true}})) << text;
  }
  // Starts are serialised and these all came first: once the last link's run is recorded,
  // any start a refused payload had wrongly made would be recorded too.
  open_url(json{{"url", "https://last.example"}});
  std::vector<StandInRun> runs = wait_for_runs(1);
  EXPECT_EQ(links_of(runs), std::vector<std::string>{"https://last.example"});
}

TEST_F(LinkOpening, bridge_two_requests_for_one_link_start_two_processes) {
  open_url(json{{"url", "https://zalo.me/0901234567"}});
  open_url(json{{"url", "https://zalo.me/0901234567"}});
  std::vector<StandInRun> runs = wait_for_runs(2);
  EXPECT_EQ(links_of(runs), (std::vector<std::string>{"https://zalo.me/0901234567", "https://zalo.me/0901234567"}));
}

TEST_F(LinkOpening, bridge_shell_characters_in_a_link_reach_xdg_open_unread) {
  const fs::path sentinel = scratch_ / "sentinel";
  const std::string touch = "/usr/bin/touch " + sentinel.string();
  const std::string link = "https://example.com/?a=1&b=2|c<d>e^f%PATH%\"g\";h $(" + touch + ") `" + touch + "` ; " +
                           touch + " && " + touch + " || " + touch + "\n" + touch + " 'q' \\ * ~ !$$ #";
  open_url(json{{"url", link}});
  std::vector<StandInRun> runs = wait_for_runs(1);
  EXPECT_EQ(links_of(runs), std::vector<std::string>{link});
  EXPECT_FALSE(fs::exists(sentinel)) << "something read the link as a command";
}

TEST_F(LinkOpening, bridge_a_started_link_leaves_no_child_to_reap_and_no_extra_descriptor) {
  // A descriptor that a careless start would hand on to the child.
  int probe = open("/dev/null", O_RDONLY);
  ASSERT_GE(probe, 0);
  ASSERT_EQ(dup2(probe, 57), 57);
  close(probe);

  EXPECT_TRUE(start_detached({"xdg-open", "https://example.com"}));
  std::vector<StandInRun> runs = wait_for_runs(1);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(std::count(runs[0].open_fds.begin(), runs[0].open_fds.end(), "57"), 0);
  EXPECT_EQ(std::count(runs[0].open_fds.begin(), runs[0].open_fds.end(), "0"), 1);
  close(57);

  EXPECT_EQ(child_processes(), std::vector<std::string>{}) << "a child left to reap";
}

TEST_F(LinkOpening, bridge_xdg_open_is_found_only_in_absolute_path_entries) {
  // An xdg-open in the current folder must never run, whatever PATH says about ".".
  const fs::path here = scratch_ / "here";
  fs::create_directory(here);
  fs::copy_file(stand_in_dir / "xdg-open", here / "xdg-open");
  fs::create_directory(here / "bin");
  fs::copy_file(stand_in_dir / "xdg-open", here / "bin" / "xdg-open");
  const fs::path before = fs::current_path();
  fs::current_path(here);

  for (const char* path : {"", ":", "::", ".", "./", "bin", "bin:", ":/nonexistent", "/nonexistent"}) {
    use_path(path);
    EXPECT_FALSE(start_detached({"xdg-open", "https://example.com"})) << "PATH=" << path;
    open_url(json{{"url", "https://example.com"}});
  }
  unsetenv("PATH");  // NOLINT(concurrency-mt-unsafe): one thread
  EXPECT_FALSE(start_detached({"xdg-open", "https://example.com"})) << "PATH unset";

  fs::current_path(before);
  use_path(stand_in_dir.string());
  open_url(json{{"url", "https://last.example"}});
  std::vector<StandInRun> runs = wait_for_runs(1);
  EXPECT_EQ(links_of(runs), std::vector<std::string>{"https://last.example"});
}

TEST_F(LinkOpening, bridge_the_first_executable_on_path_wins) {
  const fs::path plain = scratch_ / "plain";
  const fs::path folder = scratch_ / "folder";
  fs::create_directories(plain);
  fs::create_directories(folder / "xdg-open");
  std::ofstream(plain / "xdg-open") << "#!/bin/sh\n/usr/bin/touch " << (scratch_ / "ran-plain").string() << "\n";
  fs::permissions(plain / "xdg-open", fs::perms::owner_read | fs::perms::owner_write);

  use_path(plain.string() + ":" + folder.string() + ":" + stand_in_dir.string());
  EXPECT_TRUE(start_detached({"xdg-open", "https://example.com"}));
  std::vector<StandInRun> runs = wait_for_runs(1);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(fs::path(runs[0].program), stand_in_dir / "xdg-open");
  EXPECT_FALSE(fs::exists(scratch_ / "ran-plain"));
}

TEST(ProcessStart, bridge_start_refuses_what_exec_cannot_carry) {
  // NOLINTBEGIN(concurrency-mt-unsafe): one thread
  setenv("PATH", stand_in_dir.c_str(), 1);
  unsetenv("XDG_OPEN_RECORD_DIR");  // the stand-in records nothing if one did start
  // NOLINTEND(concurrency-mt-unsafe)
  EXPECT_FALSE(start_detached({}));
  EXPECT_FALSE(start_detached({""}));
  EXPECT_FALSE(start_detached({"xdg-open", std::string("https://a\0b", 11)}));
  EXPECT_FALSE(start_detached({(stand_in_dir / "xdg-open").string(), "https://example.com"}));
  EXPECT_FALSE(start_detached({"no-such-program-here", "https://example.com"}));
}

}  // namespace
