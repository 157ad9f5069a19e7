// The Korean Windows machine the setup's native tests, fuzz target and benchmarks run on: fixed
// drive C with the system directory and the temp folder, and the executable's resources (the
// catalogue 101..104 with their payload containers, the codec library 1001). The product itself
// is laid out where each test wants it.
#pragma once

#include <string>
#include <vector>

#include "FakePlatform.h"

namespace fenn::fake {

extern const wchar_t kDefaultFolder[];  // the product's default install folder
extern const wchar_t kSystemDirectory[];
extern const wchar_t kStagedLibrary[];  // the codec library's place in the system directory
extern const wchar_t kTempFolder[];
extern const char kCodecLibraryBytes[];                  // resource 1001
extern const std::vector<std::wstring> kProductFiles;    // in verification order
extern const std::vector<std::wstring> kCatalogueNames;  // ids 101..104

// What payload `name` unpacks to.
std::string PayloadContent(const std::wstring& name);

void BuildKoreanMachine(FakePlatform& platform);
// The six product files in `folder` ("D:" for a drive root).
void AddProduct(FakePlatform& platform, const std::wstring& folder);

// The machine every setup test starts from. With a product folder, the six product files are
// laid out there; a folder on D: also makes D a fixed drive of its own (another volume than the
// temp folder's).
class KoreanMachine : public FakePlatform {
 public:
  KoreanMachine() { BuildKoreanMachine(*this); }
  explicit KoreanMachine(const std::wstring& productFolder);
};

}  // namespace fenn::fake
