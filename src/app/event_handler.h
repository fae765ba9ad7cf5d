// The event loop's handler: keeps the loop waiting, runs each reply script in the web view,
// and ends the program when the window is asked to close.
#pragma once

#include <memory>

#include "platform/event_loop.h"

// View: anything with evaluate_script(std::string), whose errors are not reported back, and
// page_load(), the load of the page it shows now.
template <class View>
void event_handler(const Event& event, ControlFlow& flow, View& view) {
  flow.wait();
  switch (event.kind) {
    case Event::Kind::UserEvent:
      // A reply to a page that has been loaded again since would reach a page that never
      // asked, whose own request numbers start from 1 again.
      if (event.page_load == view.page_load()) view.evaluate_script(event.script);
      return;
    case Event::Kind::CloseRequested:
      flow.exit_with_code(0);
      return;
    case Event::Kind::WindowChanged:
    case Event::Kind::LoopDestroyed:
      return;
  }
}

// The handler that start-up gives the loop. It alone holds the view, so that the loop's end,
// which releases the handler, releases the view too (taking it out of the window).
template <class View>
EventLoop::Handler owning_event_handler(std::shared_ptr<View> view) {
  return [view = std::move(view)](const Event& event, ControlFlow& flow) { event_handler(event, flow, *view); };
}
