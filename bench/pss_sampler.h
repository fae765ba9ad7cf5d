// The process's own proportional set size, sampled on a thread of its own so that reading
// /proc never runs on (or wakes) the UI thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The proportional set size of /proc/self/smaps_rollup in kB, in all and by kind: the
// heap and other private memory, mapped files, and shared memory (the buffers the engine
// shares with its web process). -1 where it cannot be read.
struct Pss {
  long total = -1, anon = -1, file = -1, shmem = -1;
};

inline Pss own_pss() {
  std::ifstream rollup("/proc/self/smaps_rollup");
  std::string line;
  std::getline(rollup, line);  // the address range of the whole
  Pss pss;
  while (std::getline(rollup, line)) {
    const auto colon = line.find(':');
    if (colon == std::string::npos) continue;
    const std::string key = line.substr(0, colon);
    const long value = std::stol(line.substr(colon + 1));
    if (key == "Pss") pss.total = value;
    if (key == "Pss_Anon") pss.anon = value;
    if (key == "Pss_File") pss.file = value;
    if (key == "Pss_Shmem") pss.shmem = value;
  }
  return pss;
}

class PssSampler {
 public:
  struct Sample {
    std::chrono::steady_clock::time_point at;
    Pss pss;
  };

  explicit PssSampler(std::chrono::milliseconds interval) : interval_(interval), thread_([this] { run(); }) {}
  ~PssSampler() { stop(); }
  PssSampler(const PssSampler&) = delete;
  PssSampler& operator=(const PssSampler&) = delete;

  void stop() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
  }

  // After stop().
  const std::vector<Sample>& samples() const { return samples_; }

 private:
  void run() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
      lock.unlock();
      Sample sample{std::chrono::steady_clock::now(), own_pss()};
      lock.lock();
      samples_.push_back(sample);
      wake_.wait_for(lock, interval_, [this] { return stopping_; });
    }
  }

  std::chrono::milliseconds interval_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::vector<Sample> samples_;
  std::thread thread_;  // last: starts once everything above exists
};
