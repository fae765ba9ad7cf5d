// libcurl opened the way the program opens it: this test program does not link libcurl, so
// the first lead's dlopen really loads it.
#include "app/curl_library.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

namespace {

bool curl_loaded() {
  void* library = dlopen("libcurl.so.4", RTLD_NOW | RTLD_NOLOAD);
  if (library != nullptr) dlclose(library);  // drops only the reference just taken
  return library != nullptr;
}

}  // namespace

TEST(CurlLibrary, OpensTheSystemLibraryAtTheFirstCallAndMakesHandles) {
  ASSERT_FALSE(curl_loaded()) << "libcurl must not be linked into this test";
  const CurlLibrary* curl = curl_library();
  ASSERT_NE(curl, nullptr);
  EXPECT_TRUE(curl_loaded());
  CURL* handle = curl->easy_init();
  ASSERT_NE(handle, nullptr);
  curl->easy_cleanup(handle);
  EXPECT_EQ(curl_library(), curl) << "opened once";
}
