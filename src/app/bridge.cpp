#include "app/bridge.h"

#include <pthread.h>

#include <cstdlib>
#include <memory>

#include "app/dispatch.h"
#include "app/ipc_message.h"
#include "app/reply_text.h"

namespace {

// Enough for the parser, the actions and libcurl with TLS; the Linux default would be 8 MiB
// for every message in flight.
constexpr std::size_t worker_stack_size = std::size_t{2} * 1024 * 1024;

struct WorkerJob {
  std::string text;
  PageLoad page_load;
  EventLoopProxy proxy;
};

void* run_worker(void* arg) {
  std::unique_ptr<WorkerJob> job(static_cast<WorkerJob*>(arg));
  handle_ipc_message(job->text, job->page_load, job->proxy);
  return nullptr;
}

}  // namespace

std::optional<std::string> reply_script(std::string_view text, const LeadEndpoint& endpoint) {
  std::optional<IpcMessage> message = parse_ipc_message(text);
  if (!message) return std::nullopt;
  nlohmann::json reply = dispatch_action(message->action, message->payload, endpoint);
  return callback_script(message->id, write_reply(reply));
}

void handle_ipc_message(const std::string& text, PageLoad page_load, const EventLoopProxy& proxy) {
  std::optional<std::string> script = reply_script(text);
  // A loop that can no longer be reached drops the reply; nobody is left to tell.
  if (script) proxy.send_event(std::move(*script), page_load);
}

// pthread rather than std::thread: the stack size must be set, and std::thread cannot.
void ipc_handler(std::string_view text, PageLoad page_load, const EventLoopProxy& proxy) {
  auto job = std::make_unique<WorkerJob>(WorkerJob{std::string(text), page_load, proxy});
  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) std::abort();
  if (pthread_attr_setstacksize(&attr, worker_stack_size) != 0) std::abort();
  if (pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED) != 0) std::abort();
  pthread_t worker;
  // Running out of threads is treated like running out of memory: the program ends at once.
  // The worker owns the job from here on.
  if (pthread_create(&worker, &attr, run_worker, job.release()) != 0) std::abort();
  pthread_attr_destroy(&attr);
}
