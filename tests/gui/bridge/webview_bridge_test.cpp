// The page's half of the bridge (the real page) against the native half (the real handler,
// workers and event loop) in a real WebKitGTK view.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "app/ipc_message.h"
#include "page_session.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const json unknown_reply = {{"error", "Unknown action"}};
const json ok_reply = {{"ok", true}};

// A folder of its own for the process: the web view's profile, and a recording xdg-open put
// first on PATH before any thread exists, so that no link ever reaches a real desktop.
class Sandbox : public testing::Environment {
 public:
  static fs::path root;
  static fs::path profile() { return root / "profile"; }
  static fs::path opened() { return root / "opened.txt"; }

  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "ov-webview-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root = pattern;
    fs::create_directories(root / "bin");
    fs::create_directories(profile());
    const fs::path recorder = root / "bin" / "xdg-open";
    std::ofstream(recorder) << "#!/bin/sh\nprintf '%s\\n' \"$@\" >> '" << opened().string() << "'\n";
    fs::permissions(recorder, fs::perms::owner_all);
    const char* path = getenv("PATH");
    // NOLINTNEXTLINE(concurrency-mt-unsafe): set up before any thread exists
    setenv("PATH", ((root / "bin").string() + ":" + (path ? path : "/usr/bin:/bin")).c_str(), 1);
  }
  void TearDown() override { fs::remove_all(root); }
};
fs::path Sandbox::root;

std::string read_file(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Links started so far: the recorder runs on its own after the reply has gone, so wait for
// `expected` lines, then a little longer for any that should not have come.
std::string opened_links(std::size_t expected) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  std::string text;
  while (std::chrono::steady_clock::now() < deadline) {
    text = read_file(Sandbox::opened());
    if (static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) >= expected) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  return read_file(Sandbox::opened());
}

ScenarioResult run(std::string_view body, const Routing& routing = Routing::bridge()) {
  ScenarioResult result = run_scenario(Sandbox::profile().string(), body, routing);
  EXPECT_EQ(result.failure, "");
  return result;
}

std::set<std::uint64_t> posted_ids(const ScenarioResult& result) {
  std::set<std::uint64_t> ids;
  for (const std::string& text : result.posted) {
    if (auto message = parse_ipc_message(text)) ids.insert(message->id);
  }
  return ids;
}

double percentile(std::vector<double> values, double fraction) {
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(std::lround(fraction * static_cast<double>(values.size() - 1)))];
}

}  // namespace

TEST(WebViewBridge, FirstRequestIsNumberOneAndTheNextTwo) {
  ScenarioResult result = run(R"js(
    const replies = await Promise.all([callBackend("no_such_action"), callBackend("no_such_action")]);
    return { replies, next: ipcSeq };
  )js");
  ASSERT_EQ(result.posted.size(), 2u);
  // Sent before either reply came; the omitted payload is the empty object.
  EXPECT_EQ(result.posted[0], R"({"id":1,"action":"no_such_action","payload":{}})");
  EXPECT_EQ(result.posted[1], R"({"id":2,"action":"no_such_action","payload":{}})");
  EXPECT_EQ(result.report["replies"], json::array({unknown_reply, unknown_reply}));
  EXPECT_EQ(result.report["next"], 3);
}

TEST(WebViewBridge, RequestsSentAtOnceEachGetTheirOwnReplyAndRefusedLinksStartNothing) {
  ScenarioResult result = run(R"js(
    const requests = [
      ["no_such_action", {}],
      ["open_url", { url: "ftp://example.invalid/file" }],
      ["Open_url", { url: "https://example.invalid/wrong-case-action" }],
      ["open_url", { url: " https://example.invalid/leading-space" }],
      ["open_url", { url: "https://example.invalid/accepted?a=1&b=2" }],
      ["open_url", { url: "javascript:alert(1)" }],
      ["", null],
      ["open_url", { url: 42 }],
    ];
    const replies = await Promise.all(requests.map(([action, payload]) => callBackend(action, payload)));
    return { replies, pending: pendingIpc.size };
  )js");
  EXPECT_EQ(result.report["replies"], json::array({unknown_reply, ok_reply, unknown_reply, ok_reply, ok_reply, ok_reply,
                                                   unknown_reply, ok_reply}));
  EXPECT_EQ(result.report["pending"], 0);
  EXPECT_EQ(posted_ids(result), (std::set<std::uint64_t>{1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(result.scripts_delivered, 8);
  // The one accepted link shows that the recorder is reached at all.
  EXPECT_EQ(opened_links(1), "https://example.invalid/accepted?a=1&b=2\n");
}

TEST(WebViewBridge, RepliesInReverseOrderEachResolveTheirOwnPromise) {
  ScenarioResult result = run(R"js(
    const order = [];
    const actions = ["no_such_action", "open_url", "no_such_action", "open_url"];
    const replies = await Promise.all(actions.map((action, i) =>
      callBackend(action, { url: "ftp://refused/" + i }).then((reply) => { order.push(i); return reply; })));
    return { order, replies, pending: pendingIpc.size };
  )js",
                              Routing::held({3, 2, 1, 0}));
  EXPECT_EQ(result.report["order"], json::array({3, 2, 1, 0}));
  EXPECT_EQ(result.report["replies"], json::array({unknown_reply, ok_reply, unknown_reply, ok_reply}));
  EXPECT_EQ(result.report["pending"], 0);
}

TEST(WebViewBridge, SecondCallbackForAResolvedNumberDoesNothing) {
  // The first reply arrives twice while the second request is still pending: the repeat
  // must neither settle that one nor disturb it.
  ScenarioResult result = run(R"js(
    const seen = [];
    const first = callBackend("no_such_action").then((reply) => { seen.push(["first", reply]); });
    const second = callBackend("open_url", { url: "ftp://refused" }).then((reply) => { seen.push(["second", reply]); });
    await Promise.all([first, second]);
    await sleep(100);
    return { seen, pending: pendingIpc.size };
  )js",
                              Routing::held({0, 0, 1}));
  EXPECT_EQ(result.report["seen"],
            json::array({json::array({"first", unknown_reply}), json::array({"second", ok_reply})}));
  EXPECT_EQ(result.report["pending"], 0);
  EXPECT_EQ(result.scripts_delivered, 3);
}

TEST(WebViewBridge, InvalidMessagesStayPendingWhileLaterOnesResolve) {
  // nest(n) is n arrays deep; with the message's own object a payload of 126 is at the limit.
  ScenarioResult result = run(R"js(
    const nest = (n) => { let value = []; for (let i = 1; i < n; i++) value = [value]; return value; };
    const settled = {};
    callBackend("no_such_action", nest(127)).then(() => { settled.tooDeep = true; });
    callBackend("no_such_action\ud800", {}).then(() => { settled.loneSurrogate = true; });
    const later = await Promise.all([callBackend("no_such_action", nest(126)),
                                     callBackend("open_url", { url: "ftp://refused" })]);
    await sleep(300);
    return { later, settled, pending: [...pendingIpc.keys()] };
  )js");
  EXPECT_EQ(result.report["later"], json::array({unknown_reply, ok_reply}));
  EXPECT_EQ(result.report["settled"], json::object());
  EXPECT_EQ(result.report["pending"], json::array({1, 2}));
  ASSERT_EQ(result.posted.size(), 4u);
  EXPECT_EQ(result.scripts_delivered, 2);
}

TEST(WebViewBridge, BurstOfTwoThousandIsAnsweredExactlyOnceEach) {
  ScenarioResult result = run(R"js(
    const count = 2000;
    const calls = new Map();
    const original = window.__ovCallback;
    window.__ovCallback = (id, reply) => { calls.set(id, (calls.get(id) || 0) + 1); original(id, reply); };
    const started = performance.now();
    const replies = await Promise.all(Array.from({ length: count }, (_, i) =>
      callBackend(i % 2 ? "open_url" : "no_such_action", { url: "ftp://refused/" + i })));
    const elapsed = performance.now() - started;
    await sleep(300);  // room for any repeat to show
    window.__ovCallback = original;
    const expected = (i) => JSON.stringify(i % 2 ? { ok: true } : { error: "Unknown action" });
    return {
      elapsed,
      wrongReplies: replies.filter((reply, i) => JSON.stringify(reply) !== expected(i)).length,
      numbersCalledBack: calls.size,
      calledOnce: [...calls.values()].filter((n) => n === 1).length,
      pending: pendingIpc.size,
    };
  )js");
  EXPECT_EQ(result.report["wrongReplies"], 0);
  EXPECT_EQ(result.report["numbersCalledBack"], 2000);
  EXPECT_EQ(result.report["calledOnce"], 2000);
  EXPECT_EQ(result.report["pending"], 0);
  EXPECT_EQ(result.posted.size(), 2000u);
  EXPECT_EQ(posted_ids(result).size(), 2000u);
  EXPECT_EQ(result.scripts_delivered, 2000);
  std::printf("burst: 2000 requests posted at once, all answered in %.1f ms\n", result.report.value("elapsed", 0.0));
}

TEST(WebViewPage, AReloadLoadsThePageAgainAndTheEarlierPagesReplyIsNotRunInIt) {
  // The first page's request is held until the reloaded page has sent its own request, which
  // takes number 1 again; the earlier reply comes first and would settle that one.
  ScenarioResult result = run(R"js(
    if (reloads === 0) {
      callBackend("no_such_action");
      reloadView();
      return new Promise(() => {});  // this page is gone before it could report
    }
    const reply = await callBackend("open_url", { url: "ftp://refused" });
    await sleep(200);  // room for a stray reply to show
    return { pageLoad, reply, products: document.querySelectorAll(".product-card").length, pending: pendingIpc.size };
  )js",
                              Routing::held({0, 1}));
  EXPECT_EQ(result.report, json({{"pageLoad", 2}, {"reply", ok_reply}, {"products", 8}, {"pending", 0}}));
  EXPECT_EQ(result.posted,
            (std::vector<std::string>{R"({"id":1,"action":"no_such_action","payload":{}})",
                                      R"({"id":1,"action":"open_url","payload":{"url":"ftp://refused"}})"}));
  EXPECT_EQ(result.scripts_delivered, 2);
}

TEST(WebViewPage, NavigationsTheViewDidNotStartLeaveThePageWhereItWas) {
  // A page that would post to the bridge if it were ever shown.
  const fs::path dropped = Sandbox::root / "dropped.html";
  std::ofstream(dropped) << "<script>window.ipc.postMessage('from the dropped page')</script>\n";
  ScenarioResult result = run(R"js(
    window.stillHere = true;
    location.href = "https://example.invalid/elsewhere";
    await sleep(300);
    loadUri("file://)js" + dropped.string() +
                              R"js(");
    await sleep(300);
    const reply = await callBackend("no_such_action");
    return { stillHere: window.stillHere === true, href: location.href, pageLoad, reply };
  )js");
  EXPECT_EQ(result.report,
            json({{"stillHere", true}, {"href", "about:blank"}, {"pageLoad", 1}, {"reply", unknown_reply}}));
  EXPECT_EQ(result.posted, std::vector<std::string>{R"({"id":1,"action":"no_such_action","payload":{}})"});
}

TEST(WebViewPage, PageAreaOpensAt820By620) {
  // Under X the window manager draws the title bar; on Wayland (the test
  // webview_page_area_wayland) GTK draws it inside the window.
  ScenarioResult result = run(R"js(
    await new Promise((resolve) => requestAnimationFrame(() => requestAnimationFrame(resolve)));
    return { width: innerWidth, height: innerHeight };
  )js");
  EXPECT_EQ(result.report, json({{"width", 820}, {"height", 620}}));
}

TEST(WebViewPage, BrowserLanguageIsTheLocaleAsLanguageTags) {
  // Before GTK or any thread starts: the view reads the locale when it is made.
  // NOLINTBEGIN(concurrency-mt-unsafe): each test has a process of its own (gtest_discover_tests)
  for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES"}) unsetenv(name);
  setenv("LANG", "vi_VN.UTF-8", 1);
  // NOLINTEND(concurrency-mt-unsafe)
  // WebKit shows a page only the first of them (navigator.languages holds that one alone).
  ScenarioResult result = run(R"js(return { language: navigator.language };)js");
  EXPECT_EQ(result.report["language"], "vi-VN");
}

TEST(WebViewPage, PinchZoomReachesNoGestureAndTheOtherGesturesStay) {
  ScenarioResult result = run(R"js(return {};)js");
  int zoom = 0, live_zoom = 0, live_other = 0;
  for (const auto& [type, live] : result.controllers) {
    if (type == "GtkGestureZoom") {
      ++zoom;
      live_zoom += live;
    } else {
      live_other += live;
    }
  }
  EXPECT_GE(zoom, 1) << "WebKit's view carries a zoom gesture";
  EXPECT_EQ(live_zoom, 0);
  EXPECT_GE(live_other, 3) << "drag, swipe, clicks and the rest still receive events";
}

// Figures only. The page sends each request as soon as the previous one resolved, so the time
// between two posts reaching the UI thread is one whole page-to-page round trip (the page's
// own clock is coarsened to 1 ms). Beside it, the same path with the worker's job done on
// the UI thread: no thread start, no hand-over.
TEST(WebViewBridge, SequentialRoundTripTimes) {
  constexpr int round_trips = 1000;
  const std::string body = R"js(
    for (let i = 0; i <= )js" +
                           std::to_string(round_trips) + R"js(; i++) {
      const reply = await callBackend("no_such_action");
      if (reply.error !== "Unknown action") return { wrong: reply };
    }
    return { done: true };
  )js";
  auto round_trip_ms = [&](const Routing& routing) {
    ScenarioResult result = run(body, routing);
    EXPECT_EQ(result.report, json({{"done", true}}));
    EXPECT_EQ(result.posted_at.size(), round_trips + 1u);
    std::vector<double> times;
    for (std::size_t i = 1; i < result.posted_at.size(); ++i)
      times.push_back(std::chrono::duration<double, std::milli>(result.posted_at[i] - result.posted_at[i - 1]).count());
    return times;
  };
  std::vector<double> bridge = round_trip_ms(Routing::bridge());
  std::vector<double> baseline = round_trip_ms(Routing::inline_on_ui_thread());
  ASSERT_FALSE(bridge.empty());
  ASSERT_FALSE(baseline.empty());
  const double median = percentile(bridge, 0.5), p99 = percentile(bridge, 0.99);
  const double base_median = percentile(baseline, 0.5), base_p99 = percentile(baseline, 0.99);
  std::printf("round trip, %d sequential requests: median %.3f ms, p99 %.3f ms\n", round_trips, median, p99);
  std::printf("same without the worker thread:       median %.3f ms, p99 %.3f ms (ratio %.2f / %.2f)\n", base_median,
              base_p99, median / base_median, p99 / base_p99);
}

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  testing::AddGlobalTestEnvironment(new Sandbox);
  return RUN_ALL_TESTS();
}
