// Feeds arbitrary files to DecompVXFormat2NomFile. The library must never crash, must leave no
// temporary copy behind, and must agree with a plain in-memory inflate of the same bytes: a file
// decodes exactly when its leading zlib stream is complete and valid, and the destination then
// holds what that stream holds; a failed decode leaves at most what inflate produced before it
// found the fault.
#include <dirent.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "complib.h"
#include "reference_inflate.h"

namespace {

std::string g_folder;  // private folder, also the codec's TMPDIR

std::vector<std::string> FolderEntries() {
  std::vector<std::string> names;
  if (DIR* dir = opendir(g_folder.c_str())) {
    while (dirent* entry = readdir(dir)) {
      if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
        names.push_back(entry->d_name);
      }
    }
    closedir(dir);
  }
  return names;
}

// libFuzzer ends a timed run through exit(), so the folder goes with it; after a crash it stays.
void RemoveFolder() {
  for (const auto& name : FolderEntries()) std::remove((g_folder + "/" + name).c_str());
  rmdir(g_folder.c_str());
}

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "decompress_fuzzer: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char pattern[] = "/tmp/fenn-decompress-fuzz-XXXXXX";
  if (mkdtemp(pattern) == nullptr) std::abort();
  g_folder = pattern;
  setenv("TMPDIR", g_folder.c_str(), 1);
  std::atexit(RemoveFolder);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string source = g_folder + "/in.vx";
  const std::string destination = g_folder + "/out.bin";
  std::remove(destination.c_str());
  {
    std::ofstream out(source, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }

  const int32_t status = DecompVXFormat2NomFile(source.c_str(), destination.c_str());

  for (const auto& name : FolderEntries()) {
    if (name != "in.vx" && name != "out.bin") Fail("a temporary file was left behind");
  }
  std::ifstream in(destination, std::ios::binary);
  const bool written = in.good();
  const std::vector<uint8_t> output((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
  if (size < 24) {
    if (status != complib::kErrOpenFormatFile) Fail("a short file did not give the open error");
    if (written) Fail("a short file created a destination");
    return 0;
  }
  const Inflated reference = InflateReference(data, size);
  if (reference.complete) {
    if (status != 0) Fail("a valid stream failed to decode");
    if (output != reference.bytes) Fail("the decoded content differs from inflate's");
  } else {
    if (status == 0) Fail("an incomplete or corrupt stream was reported as decoded");
    const size_t common = std::min(output.size(), reference.bytes.size());
    if (!std::equal(output.begin(), output.begin() + common, reference.bytes.begin())) {
      Fail("a failed decode left bytes inflate never produced");
    }
  }
  return 0;
}
