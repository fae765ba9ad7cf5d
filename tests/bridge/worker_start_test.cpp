// The worker's stack is set, not inherited, and a worker that cannot be started ends the
// program. Both are shown by starting one under a cap on the address space, in a child.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <string>

#include "app/bridge.h"

namespace {

long address_space_in_use() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.starts_with("VmSize:")) return std::stol(line.substr(7)) * 1024;
  }
  return -1;
}

// Caps the address space at what is in use plus `headroom`, then hands the bridge one
// message. The worker's stack has to fit in the headroom.
[[noreturn]] void start_worker_with_headroom(long headroom) {
  EventLoop loop;
  EventLoopProxy proxy = loop.create_proxy();
  const std::string text = "not a message";
  rlimit cap{};
  cap.rlim_cur = cap.rlim_max = address_space_in_use() + headroom;
  if (setrlimit(RLIMIT_AS, &cap) != 0) _exit(3);
  ipc_handler(text, 1, proxy);
  _exit(0);
}

TEST(WorkerStart, bridge_worker_stack_is_2_mib_and_a_worker_that_cannot_start_ends_the_program) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizers reserve far more address space than any cap leaves";
#endif
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // 4 MiB of room: a 2 MiB stack fits, the 8 MiB default would not.
  EXPECT_EXIT(start_worker_with_headroom(4 << 20), ::testing::ExitedWithCode(0), "");
  // 1 MiB of room: no 2 MiB stack fits, the thread cannot be created, the program aborts.
  EXPECT_EXIT(start_worker_with_headroom(1 << 20), ::testing::KilledBySignal(SIGABRT), "");
}

}  // namespace
