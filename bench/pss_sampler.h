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

// "Pss:" of /proc/self/smaps_rollup in kB, or -1 when it cannot be read.
inline long own_pss_kb() {
  std::ifstream rollup("/proc/self/smaps_rollup");
  std::string key;
  long value = 0;
  std::string unit;
  while (rollup >> key >> value >> unit) {
    if (key == "Pss:") return value;
  }
  return -1;
}

class PssSampler {
 public:
  struct Sample {
    std::chrono::steady_clock::time_point at;
    long pss_kb;
  };

  explicit PssSampler(std::chrono::milliseconds interval)
      : interval_(interval), thread_([this] { run(); }) {}
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
      Sample sample{std::chrono::steady_clock::now(), own_pss_kb()};
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
