// The bridge's workers against the real event loop, without a display: every message that
// parses is answered exactly once, on the loop's thread, with its own number.
#include <glib.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "app/bridge.h"
#include "app/event_handler.h"
#include "platform/event_loop.h"

namespace {

const std::string unknown_reply = R"({"error":"Unknown action"})";

std::string script_for(int id, const std::string& reply) {
  return "window.__ovCallback(" + std::to_string(id) + ", " + reply + ");";
}

// Posts every text through ipc_handler from the loop's own thread, then runs the loop until
// `expected` scripts have arrived. A deadline posted through the proxy like any reply ends
// a loop that waits in vain, and fails the test.
std::map<std::string, int> answers_to(const std::vector<std::string>& texts, std::size_t expected) {
  static const std::string deadline_script = "deadline";
  EventLoop loop;
  EventLoopProxy proxy = loop.create_proxy();
  std::map<std::string, int> scripts;
  std::size_t received = 0;

  struct Start {
    const std::vector<std::string>* texts;
    const EventLoopProxy* proxy;
  } start{&texts, &proxy};
  g_idle_add_full(
      G_PRIORITY_HIGH,
      [](gpointer data) -> gboolean {
        auto* s = static_cast<Start*>(data);
        for (const std::string& text : *s->texts) ipc_handler(text, 1, *s->proxy);
        return G_SOURCE_REMOVE;
      },
      &start, nullptr);
  guint deadline = g_timeout_add_seconds(
      60,
      [](gpointer data) -> gboolean {
        static_cast<EventLoopProxy*>(data)->send_event(deadline_script, 1);
        return G_SOURCE_REMOVE;
      },
      &proxy);

  int code = loop.run_returning([&](const Event& event, ControlFlow& flow) {
    flow.wait();
    if (event.kind != Event::Kind::UserEvent) return;
    if (event.script == deadline_script) return flow.exit_with_code(1);
    ++scripts[event.script];
    if (++received == expected) flow.exit_with_code(0);
  });
  if (code == 0) g_source_remove(deadline);
  EXPECT_EQ(code, 0) << "only " << received << " of " << expected << " answers arrived";
  return scripts;
}

TEST(BridgeThreads, bridge_each_valid_message_is_answered_once_and_invalid_ones_never) {
  // Links that are refused, so nothing starts; the numbers tell the replies apart.
  const std::vector<std::string> texts = {
      R"({"id":1,"action":"open_url","payload":{"url":"mailto:a@b.c"}})",
      R"({"id":2,"action":"no_such_action","payload":{}})",
      R"([3,"Open_url"])",
      R"({"id":4,"action":"open_url"})",
      R"({"id":0,"action":"","payload":null})",
      R"({"id":18446744073709551615,"action":"x"})",
      R"({"id":5,"action":"open_url","payload":{"url":"ftp://x"}})",
      // Invalid: none of these may be answered.
      R"({"id":6,"action":"open_url","payload":{})",
      R"({"id":7,"action":"open_url","action":"open_url"})",
      R"({"id":-8,"action":"x"})",
      R"([9])",
      R"()",
      R"(not json at all)",
      R"({"id":10,"action":"x"} {"id":11,"action":"x"})",
  };
  std::map<std::string, int> scripts = answers_to(texts, 7);
  const std::map<std::string, int> expected = {
      {script_for(1, R"({"ok":true})"), 1}, {script_for(2, unknown_reply), 1},
      {script_for(3, unknown_reply), 1},    {script_for(4, R"({"ok":true})"), 1},
      {script_for(0, unknown_reply), 1},    {"window.__ovCallback(18446744073709551615, " + unknown_reply + ");", 1},
      {script_for(5, R"({"ok":true})"), 1},
  };
  EXPECT_EQ(scripts, expected);
}

TEST(BridgeThreads, bridge_a_burst_of_2000_messages_is_answered_exactly_once_each) {
  constexpr int count = 2000;
  std::vector<std::string> texts;
  std::map<std::string, int> expected;
  for (int id = 1; id <= count; ++id) {
    texts.push_back(R"({"id":)" + std::to_string(id) + R"(,"action":"burst","payload":{"n":)" + std::to_string(id) +
                    "}}");
    expected[script_for(id, unknown_reply)] = 1;
  }
  EXPECT_EQ(answers_to(texts, count), expected);
}

TEST(BridgeThreads, bridge_a_reply_after_the_loop_has_ended_is_dropped) {
  EventLoop loop;
  EventLoopProxy proxy = loop.create_proxy();
  g_idle_add_full(
      G_PRIORITY_HIGH,
      [](gpointer data) -> gboolean {
        static_cast<EventLoopProxy*>(data)->send_event("window.__ovCallback(1, null);", 1);
        return G_SOURCE_REMOVE;
      },
      &proxy, nullptr);
  int events = 0;
  loop.run_returning([&](const Event& event, ControlFlow& flow) {
    if (event.kind == Event::Kind::UserEvent && ++events == 1) flow.exit_with_code(0);
  });
  EXPECT_EQ(events, 1);
  EXPECT_FALSE(proxy.send_event("window.__ovCallback(2, null);", 1));
}

// The page is loaded again while two workers of its first load are still on their way: their
// replies are dropped, and the reloaded page's own request 1 gets only its own reply.
TEST(BridgeThreads, bridge_replies_to_a_page_load_before_a_reload_are_not_run) {
  struct View {
    PageLoad load = 1;
    std::vector<std::string> scripts;
    void evaluate_script(const std::string& script) { scripts.push_back(script); }
    PageLoad page_load() const { return load; }
  } view;
  EventLoop loop;
  EventLoopProxy proxy = loop.create_proxy();
  struct Start {
    View* view;
    const EventLoopProxy* proxy;
  } start{&view, &proxy};
  g_idle_add_full(
      G_PRIORITY_HIGH,
      [](gpointer data) -> gboolean {
        auto* s = static_cast<Start*>(data);
        ipc_handler(R"({"id":1,"action":"before_reload"})", s->view->page_load(), *s->proxy);
        ipc_handler(R"({"id":2,"action":"before_reload"})", s->view->page_load(), *s->proxy);
        ++s->view->load;  // the reload, before the loop can hand over either reply
        ipc_handler(R"({"id":1,"action":"after_reload"})", s->view->page_load(), *s->proxy);
        return G_SOURCE_REMOVE;
      },
      &start, nullptr);
  guint deadline = g_timeout_add_seconds(
      60,
      [](gpointer data) -> gboolean {
        static_cast<EventLoop*>(data)->deliver({Event::Kind::CloseRequested, {}});
        return G_SOURCE_REMOVE;
      },
      &loop);
  int replies = 0;
  loop.run_returning([&](const Event& event, ControlFlow& flow) {
    event_handler(event, flow, view);
    if (event.kind == Event::Kind::UserEvent && ++replies == 3) flow.exit_with_code(0);
  });
  EXPECT_EQ(replies, 3) << "every worker posted its reply";
  if (replies == 3) g_source_remove(deadline);
  EXPECT_EQ(view.scripts, std::vector<std::string>{script_for(1, unknown_reply)});
}

}  // namespace
