#include "platform/event_loop.h"

#include <glib.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

struct LoopState {
  GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
  ~LoopState() { g_main_loop_unref(loop); }  // safe on whichever thread drops the last proxy
  std::atomic<bool> ended{false};
  EventLoop::Handler handler;
  ControlFlow flow;
};

namespace {

void deliver_to(LoopState& s, const Event& event) {
  if (s.ended.load(std::memory_order_acquire) || !s.handler) return;
  s.handler(event, s.flow);
  if (s.flow.exiting()) g_main_loop_quit(s.loop);
}

struct PostedScript {
  std::shared_ptr<LoopState> state;
  std::string script;
  PageLoad page_load;
};

gboolean run_posted_script(gpointer data) {
  auto* posted = static_cast<PostedScript*>(data);
  deliver_to(*posted->state, {Event::Kind::UserEvent, std::move(posted->script), posted->page_load});
  delete posted;
  return G_SOURCE_REMOVE;
}

}  // namespace

bool EventLoopProxy::send_event(std::string script, PageLoad page_load) const {
  if (state_->ended.load(std::memory_order_acquire)) return false;
  // g_idle_add queues onto the default context from any thread, and the callback always
  // runs on the thread that runs the loop. (g_main_context_invoke would run it on the
  // posting thread whenever that thread could acquire the context.)
  g_idle_add_full(G_PRIORITY_DEFAULT, run_posted_script, new PostedScript{state_, std::move(script), page_load},
                  nullptr);
  return true;
}

EventLoop::EventLoop() : state_(std::make_shared<LoopState>()) {}

void EventLoop::deliver(const Event& event) { deliver_to(*state_, event); }

int EventLoop::run_returning(Handler handler) {
  LoopState& s = *state_;
  s.handler = std::move(handler);
  g_main_loop_run(s.loop);
  s.ended.store(true, std::memory_order_release);
  s.handler({Event::Kind::LoopDestroyed, {}}, s.flow);
  s.handler = nullptr;  // releases what the handler owns, the web view among it
  return s.flow.exit_code();
}

void EventLoop::run(Handler handler) {
  int code = run_returning(std::move(handler));
  std::fflush(nullptr);
  _exit(code);
}
