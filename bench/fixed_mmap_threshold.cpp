// Preloaded into the program to measure it with glibc's mmap threshold fixed at 1 MiB, as a
// mallopt() at the top of main would set it, without changing the program:
//   LD_PRELOAD=libfixed-mmap-threshold.so orvanta-tool
// glibc otherwise raises the threshold each time a large block is freed, after which the
// engine's 2 MB frame textures come from the heap, where they can leave it full of holes.
#include <malloc.h>
#include <stdlib.h>

namespace {

__attribute__((constructor)) void fix_mmap_threshold() {
  unsetenv("LD_PRELOAD");  // the host only, as mallopt() in main would: not WebKit's helpers
  mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
}

}  // namespace
