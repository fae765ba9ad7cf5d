#include "platform/event_loop.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/event_handler.h"

namespace {

struct RecordingView {
  PageLoad load = 1;
  std::vector<std::string> scripts;
  void evaluate_script(const std::string& script) { scripts.push_back(script); }
  PageLoad page_load() const { return load; }
};

// The window's close request, once the loop has nothing else to do.
void close_when_idle(EventLoop& loop) {
  g_idle_add_full(
      G_PRIORITY_LOW,
      [](gpointer l) {
        static_cast<EventLoop*>(l)->deliver({Event::Kind::CloseRequested, {}});
        return G_SOURCE_REMOVE;
      },
      &loop, nullptr);
}

}  // namespace

TEST(EventHandler, WaitsRunsScriptsAndExitsOnCloseOnly) {
  RecordingView view;
  ControlFlow flow;
  for (auto kind : {Event::Kind::WindowChanged, Event::Kind::LoopDestroyed}) {
    event_handler({kind, {}}, flow, view);
    EXPECT_FALSE(flow.exiting());
  }
  event_handler({Event::Kind::UserEvent, "", 1}, flow, view);  // an empty script goes through unchanged
  event_handler({Event::Kind::UserEvent, "window.__ovCallback(1, {});", 1}, flow, view);
  EXPECT_EQ(view.scripts, (std::vector<std::string>{"", "window.__ovCallback(1, {});"}));
  EXPECT_FALSE(flow.exiting());

  event_handler({Event::Kind::CloseRequested, {}}, flow, view);
  ASSERT_TRUE(flow.exiting());
  // The exit sticks through later events of the same pass and the final one.
  for (auto kind : {Event::Kind::WindowChanged, Event::Kind::UserEvent, Event::Kind::LoopDestroyed})
    event_handler({kind, {}}, flow, view);
  EXPECT_TRUE(flow.exiting());
  EXPECT_EQ(flow.exit_code(), 0);
}

TEST(EventHandler, RunsOnlyScriptsForThePageLoadShownNow) {
  RecordingView view;
  view.load = 3;
  ControlFlow flow;
  for (PageLoad load : {PageLoad{2}, PageLoad{3}, PageLoad{4}, PageLoad{0}, PageLoad{1}})
    event_handler({Event::Kind::UserEvent, "load " + std::to_string(load), load}, flow, view);
  EXPECT_EQ(view.scripts, std::vector<std::string>{"load 3"});
  EXPECT_FALSE(flow.exiting());
}

TEST(EventLoop, ScriptsFromOtherThreadsRunOnTheLoopThreadThenCloseEndsIt) {
  EventLoop loop;
  EventLoopProxy proxy = loop.create_proxy();
  const auto loop_thread = std::this_thread::get_id();
  constexpr int workers = 8, per_worker = 50;
  constexpr std::size_t scripts = std::size_t{workers} * per_worker;

  std::vector<std::string> seen;
  bool all_on_loop_thread = true, destroyed_last = false;
  std::vector<std::thread> threads;
  threads.reserve(workers);
  for (int w = 0; w < workers; ++w)
    threads.emplace_back([proxy, w] {
      for (int i = 0; i < per_worker; ++i) EXPECT_TRUE(proxy.send_event(std::to_string(w * per_worker + i), 1));
    });
  for (auto& t : threads) t.join();
  // Closing after the scripts were posted: every one of them is handled before the close.
  close_when_idle(loop);

  RecordingView view;
  int code = loop.run_returning([&](const Event& event, ControlFlow& flow) {
    all_on_loop_thread &= std::this_thread::get_id() == loop_thread;
    destroyed_last = event.kind == Event::Kind::LoopDestroyed;
    if (event.kind == Event::Kind::UserEvent) {
      seen.push_back(event.script);
      EXPECT_EQ(event.page_load, 1u);
    }
    event_handler(event, flow, view);
  });

  EXPECT_EQ(code, 0);
  EXPECT_TRUE(all_on_loop_thread);
  EXPECT_TRUE(destroyed_last);
  ASSERT_EQ(seen.size(), scripts);
  std::vector<bool> once(scripts);
  for (const auto& s : seen) {
    EXPECT_FALSE(once[std::stoi(s)]) << s;
    once[std::stoi(s)] = true;
  }
  // Once the loop has ended a post reports failure and the script goes nowhere.
  EXPECT_FALSE(proxy.send_event("late", 1));
}

TEST(EventLoop, ReleasesTheViewWithTheHandlerOnceTheLoopHasEnded) {
  EventLoop loop;
  close_when_idle(loop);

  auto view = std::make_shared<RecordingView>();
  const std::weak_ptr<RecordingView> watch = view;
  EXPECT_EQ(loop.run_returning(owning_event_handler(std::move(view))), 0);
  EXPECT_TRUE(watch.expired()) << "the view outlived the loop";
}
