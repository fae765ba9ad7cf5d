// The program's one window. It stays with start-up and is never destroyed by the program.
#pragma once

#include <gtk/gtk.h>

#include <string>

#include "platform/event_loop.h"

// Opens the window (title, a page area of 820 × 620) and routes its close request and size and
// focus changes to the loop. Null when GTK cannot be initialised; `error` says why.
GtkWindow* create_main_window(EventLoop& loop, std::string& error);
