// Watches the X display from outside for one process's window, the same way for the program
// and for the floor:
//   paint-probe PID [TIMEOUT_SECONDS]
// prints {"window_ns":…,"paint_ns":…} in CLOCK_MONOTONIC nanoseconds: when the window manager
// first listed a viewable window of PID, and when the page's background colour first showed in
// it. Every millisecond it reads one column of pixels, 8 px from the window's left edge (page
// margin there: the top bar's white, then the page background), so that it costs the X server
// next to nothing.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <time.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>

namespace {

constexpr unsigned long page_background = 0xeef2f5;
constexpr int column_x = 8;

long long monotonic_ns() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1'000'000'000LL + now.tv_nsec;
}

// A window may go away or not be viewable yet between two requests: that is an answer, not a failure.
int ignore_x_error(Display*, XErrorEvent*) { return 0; }

std::optional<unsigned long> cardinal_property(Display* display, Window window, Atom name) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::optional<unsigned long> value;
  if (XGetWindowProperty(display, window, name, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after, &data) ==
          Success &&
      data && count == 1 && format == 32)
    value = *reinterpret_cast<unsigned long*>(data);
  if (data) XFree(data);
  return value;
}

// The managed window of `pid`, if the window manager lists one that is on screen.
std::optional<Window> window_of(Display* display, unsigned long pid) {
  static const Atom client_list = XInternAtom(display, "_NET_CLIENT_LIST", False);
  static const Atom wm_pid = XInternAtom(display, "_NET_WM_PID", False);
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::optional<Window> found;
  if (XGetWindowProperty(display, DefaultRootWindow(display), client_list, 0, 1024, False, XA_WINDOW, &type, &format,
                         &count, &after, &data) == Success &&
      data) {
    auto* windows = reinterpret_cast<Window*>(data);
    for (unsigned long i = 0; i < count && !found; ++i) {
      XWindowAttributes attributes{};
      if (cardinal_property(display, windows[i], wm_pid) == pid &&
          XGetWindowAttributes(display, windows[i], &attributes) && attributes.map_state == IsViewable)
        found = windows[i];
    }
  }
  if (data) XFree(data);
  return found;
}

bool shows_page_background(Display* display, Window window) {
  XWindowAttributes attributes{};
  if (!XGetWindowAttributes(display, window, &attributes) || attributes.width <= column_x) return false;
  XImage* column = XGetImage(display, window, column_x, 0, 1, attributes.height, AllPlanes, ZPixmap);
  if (!column) return false;
  bool seen = false;
  for (int y = 0; y < attributes.height && !seen; ++y) seen = (XGetPixel(column, 0, y) & 0xffffff) == page_background;
  XDestroyImage(column);
  return seen;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: %s PID [TIMEOUT_SECONDS]\n", argv[0]);
    return 2;
  }
  const unsigned long pid = std::strtoul(argv[1], nullptr, 10);
  long long timeout_s = 30;
  if (argc == 3) {
    const std::string_view digits = argv[2];
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), timeout_s);
    if (error != std::errc{} || end != digits.data() + digits.size() || timeout_s <= 0) {
      std::fprintf(stderr, "usage: %s PID [TIMEOUT_SECONDS]\n", argv[0]);
      return 2;
    }
  }
  const long long deadline = monotonic_ns() + timeout_s * 1'000'000'000LL;
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "cannot open display\n");
    return 1;
  }
  XSetErrorHandler(ignore_x_error);

  std::optional<Window> window;
  long long window_ns = 0;
  while (monotonic_ns() < deadline) {
    if (!window && (window = window_of(display, pid))) window_ns = monotonic_ns();
    if (window && shows_page_background(display, *window)) {
      std::printf("{\"window_ns\":%lld,\"paint_ns\":%lld}\n", window_ns, monotonic_ns());
      return 0;
    }
    usleep(1000);
  }
  std::fprintf(stderr, "no page painted by process %lu in time\n", pid);
  return 1;
}
