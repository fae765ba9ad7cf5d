// What an end of the page's web process means once the page has loaded: one now and then (a
// crash, the out-of-memory killer) is answered by loading the page again; three within one
// minute mean a process that cannot live here (say, a graphics driver that kills it whenever
// it paints), and loading again would only start the next one.
#pragma once

#include <chrono>
#include <deque>

class WebProcessEnds {
 public:
  using Clock = std::chrono::steady_clock;

  // Records an end at `now` (never earlier than the one before); true when it is the third
  // within one minute.
  bool keeps_ending(Clock::time_point now);

 private:
  std::deque<Clock::time_point> recent_;  // the ends less than a minute old
};
