// Orvanta Tool: one window whose whole interface is the embedded page.
#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/assets.h"
#include "app/bridge.h"
#include "app/event_handler.h"
#include "app/page_assembly.h"
#include "platform/error_dialog.h"
#include "platform/event_loop.h"
#include "platform/main_window.h"
#include "platform/web_engine.h"
#include "platform/web_view.h"

int main() {
  // Fixed, so that large short-lived blocks (the engine's frame buffers) get mappings of their
  // own: once glibc raises the threshold by itself, they leave the heap full of holes that
  // the worker threads' small allocations keep from being returned.
  mallopt(M_MMAP_THRESHOLD, 1024 * 1024);  // NOLINT(concurrency-mt-unsafe): no other thread exists yet

  EventLoop loop;
  EventLoopProxy proxy = loop.create_proxy();

  std::string error;
  GtkWindow* window = create_main_window(loop, error);
  if (!window) {
    std::fprintf(stderr, "Không tạo được cửa sổ ứng dụng: %s\n", error.c_str());
    std::abort();
  }

  if (auto problem = web_engine_problem()) fail_web_view_start(*problem);

  loop.run(owning_event_handler(std::make_shared<WebView>(
      window, profile_folder(g_get_user_cache_dir()), assemble_page(page_html(), logo_png()),
      [proxy](std::string_view text, PageLoad page_load) { ipc_handler(text, page_load, proxy); },
      fail_web_view_start)));
}
