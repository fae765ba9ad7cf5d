// The native half of the page bridge: each posted text gets a worker thread of its own,
// which parses it, runs the action and posts the callback script to the UI thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/lead.h"
#include "platform/event_loop.h"

// The worker's whole path short of posting: the callback script, or nullopt for a text
// that does not parse.
std::optional<std::string> reply_script(std::string_view text, const LeadEndpoint& endpoint = vendor_endpoint());

// The body of one worker thread. Its script goes to the loop for `page_load`, the load of
// the page that posted the text.
void handle_ipc_message(const std::string& text, PageLoad page_load, const EventLoopProxy& proxy);

// The web view's message handler, on the UI thread: copies the text and starts a detached
// worker with a 2 MiB stack. A worker that cannot be started ends the process.
void ipc_handler(std::string_view text, PageLoad page_load, const EventLoopProxy& proxy);
