// Test entry point. Linux: the library's temporary copies go to a private TMPDIR, so that the
// "no temporary copy left" checks see only this run. Windows: `--dll=debug` binds the debug build
// of CompLib.dll instead of the release build.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "test_support.h"

#ifndef _WIN32
#include <unistd.h>
#endif

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--dll=", 0) == 0) codec_test::selectLibrary(arg.substr(6));
  }
#ifndef _WIN32
  char folder[] = "/tmp/codec-tmpdir-XXXXXX";
  if (mkdtemp(folder) == nullptr) return 2;
  setenv("TMPDIR", folder, 1);
  const int result = RUN_ALL_TESTS();
  rmdir(folder);  // fails, and so shows, if anything was left in it
  return result;
#else
  std::printf("library: %s\n", codec_test::libraryPath().c_str());
  return RUN_ALL_TESTS();
#endif
}
