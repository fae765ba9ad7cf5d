#include "app/web_process_ends.h"

bool WebProcessEnds::keeps_ending(Clock::time_point now) {
  constexpr auto window = std::chrono::minutes(1);
  constexpr std::size_t limit = 3;
  while (!recent_.empty() && now - recent_.front() >= window) recent_.pop_front();
  recent_.push_back(now);
  return recent_.size() >= limit;
}
