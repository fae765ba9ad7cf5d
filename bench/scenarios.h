// The page-side scripts of the bridge figures, run in the real page by both the program's
// bridge harness and the floor, so that the two answer exactly the same traffic. Each is the
// body of an async function; the value it returns is the run's report. `sleep(ms)` is in scope.
#pragma once

#include <string>

namespace scenario {

// One request at a time, the next as soon as the previous reply resolved: the time between
// two posts reaching native code is one whole page-to-page round trip. `count` round trips
// take count + 1 posts.
inline std::string round_trips(int count) {
  return R"js(
    for (let i = 0; i <= )js" +
         std::to_string(count) + R"js(; i++) {
      const reply = await callBackend("no_such_action");
      if (reply.error !== "Unknown action") return { wrong: reply };
    }
    return { done: true };
  )js";
}

// `count` requests posted at once; the page's own clock from the first post to the last reply.
inline std::string burst(int count) {
  return R"js(
    const count = )js" +
         std::to_string(count) + R"js(;
    const started = performance.now();
    const replies = await Promise.all(Array.from({ length: count }, () => callBackend("no_such_action")));
    const elapsed = performance.now() - started;
    return {
      elapsed,
      answered: replies.filter((reply) => reply.error === "Unknown action").length,
      pending: pendingIpc.size,
    };
  )js";
}

// The soak: a warm-up of soak_warmup replies and a pause (the first memory sample falls
// in it), then soak_count replies in batches with a pause after each, then a quiet tail (the
// last sample falls in it). About seventy seconds.
inline constexpr int soak_warmup = 1000;
inline constexpr int soak_count = 20000;
inline constexpr int soak_batch = 25;
inline constexpr int soak_pause_ms = 80;
inline constexpr int soak_tail_ms = 3000;

inline std::string soak() {
  return "const warmup = " + std::to_string(soak_warmup) + ", count = " + std::to_string(soak_count) +
         ", batch = " + std::to_string(soak_batch) + ", pause = " + std::to_string(soak_pause_ms) +
         ", tail = " + std::to_string(soak_tail_ms) + ";" + R"js(
    const call = (n) => Promise.all(Array.from({ length: n }, () => callBackend("no_such_action")));
    await call(warmup);
    await sleep(1500);
    let answered = 0;
    for (let sent = 0; sent < count; sent += batch) {
      const replies = await call(Math.min(batch, count - sent));
      answered += replies.filter((reply) => reply.error === "Unknown action").length;
      await sleep(pause);
    }
    await sleep(tail);
    return { answered, pending: pendingIpc.size };
  )js";
}

}  // namespace scenario
