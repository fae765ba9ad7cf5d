// Preloaded into the program to measure it with glibc's mmap threshold left to glibc, as it
// was before main() fixed it at 1 MiB, without a switch in the program itself:
//   LD_PRELOAD=libglibc-mmap-threshold.so orvanta-tool
// The host's mallopt(M_MMAP_THRESHOLD, ...) is dropped, so glibc keeps raising the threshold
// each time a large block is freed; every other mallopt() goes through.
#include <dlfcn.h>
#include <malloc.h>
#include <stdlib.h>

#include <cstdio>

namespace {

// NOLINTNEXTLINE(concurrency-mt-unsafe): runs as the library loads, before main and any thread
__attribute__((constructor)) void keep_out_of_helpers() { unsetenv("LD_PRELOAD"); }

}  // namespace

extern "C" int mallopt(int param, int val) __THROW {
  if (param == M_MMAP_THRESHOLD) return 1;  // "succeeded", as glibc's own answer would be
  using Set = int (*)(int, int);
  static auto real = reinterpret_cast<Set>(dlsym(RTLD_NEXT, "mallopt"));
  if (!real) {
    std::fprintf(stderr, "glibc-mmap-threshold: mallopt not found\n");
    abort();
  }
  return real(param, val);
}
