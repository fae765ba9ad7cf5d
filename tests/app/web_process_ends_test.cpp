#include "app/web_process_ends.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using std::chrono::milliseconds;

struct Case {
  const char* name;
  std::vector<milliseconds> ends;  // since the first load
  std::vector<bool> keeps_ending;  // the answer at each end
};

constexpr milliseconds s(long seconds) { return milliseconds(seconds * 1000); }

const Case cases[] = {
    {"one end", {s(5)}, {false}},
    {"two ends a second apart", {s(5), s(6)}, {false, false}},
    {"three at once", {s(5), s(5), s(5)}, {false, false, true}},
    {"the third a moment short of a minute", {s(0), s(30), s(60) - milliseconds(1)}, {false, false, true}},
    {"the third a minute after the first", {s(0), s(30), s(60)}, {false, false, false}},
    {"the first has aged out, the fourth is the third", {s(0), s(30), s(61), s(62)}, {false, false, false, true}},
    {"every 31 s, never three in a minute", {s(0), s(31), s(62), s(93), s(124), s(155)}, std::vector<bool>(6, false)},
};

}  // namespace

TEST(WebProcessEnds, ThreeWithinOneMinuteMeanItKeepsEnding) {
  const auto start = WebProcessEnds::Clock::now();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WebProcessEnds ends;
    std::vector<bool> answers;
    for (milliseconds end : c.ends) answers.push_back(ends.keeps_ending(start + end));
    EXPECT_EQ(answers, c.keeps_ending);
  }
}
