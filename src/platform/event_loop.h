// The program's event loop over GLib's main loop: user events are scripts for the page,
// posted from any thread through a copyable proxy, handled one at a time on the UI thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

// Which load of the page a script is for. The web view counts its loads from 1, and loads the
// page again when its web process has ended.
using PageLoad = std::uint64_t;

struct Event {
  enum class Kind {
    UserEvent,       // `script` holds a callback script for the page
    CloseRequested,  // the user asked the window to close
    WindowChanged,   // resized, focused or unfocused: nothing for us to do
    LoopDestroyed,   // the loop's final event
  };
  Kind kind;
  std::string script;
  PageLoad page_load = 0;  // user events: the load whose request the script answers
};

// Wait, or exit with a code. An exit request sticks: a later wait() does not cancel it.
class ControlFlow {
 public:
  void wait() {}
  void exit_with_code(int code) {
    if (!exit_code_) exit_code_ = code;
  }
  bool exiting() const { return exit_code_.has_value(); }
  int exit_code() const { return exit_code_.value_or(0); }

 private:
  std::optional<int> exit_code_;
};

struct LoopState;

// Posting never blocks and has no bound. Once the loop has ended, send() reports false
// and the script is dropped.
class EventLoopProxy {
 public:
  explicit EventLoopProxy(std::shared_ptr<LoopState> state) : state_(std::move(state)) {}
  bool send_event(std::string script, PageLoad page_load) const;

 private:
  std::shared_ptr<LoopState> state_;
};

class EventLoop {
 public:
  using Handler = std::function<void(const Event&, ControlFlow&)>;

  EventLoop();  // on the main thread only
  EventLoopProxy create_proxy() const { return EventLoopProxy(state_); }

  // Hands an event from the UI thread (a window signal, say) to the handler.
  void deliver(const Event& event);

  // Runs until the handler asks to exit, gives it LoopDestroyed, releases it, and ends the
  // process with the exit code without running static destructors: detached workers may
  // still be running, and must not be able to crash the exit.
  [[noreturn]] void run(Handler handler);

  // For tests: runs like run() but returns the exit code instead of ending the process.
  int run_returning(Handler handler);

 private:
  std::shared_ptr<LoopState> state_;
};
