#include "AnsiText.h"

#include <errno.h>
#include <iconv.h>

#include <vector>

namespace fenn::fake {

namespace {

// Converts as much as possible; an unconvertible input unit becomes `replacement` and the
// conversion goes on after it.
template <typename Out, typename In>
Out Convert(const char* to, const char* from, const In& input,
            typename Out::value_type replacement) {
  Out output;
  iconv_t converter = iconv_open(to, from);
  if (converter == reinterpret_cast<iconv_t>(-1)) return output;
  char* in = const_cast<char*>(reinterpret_cast<const char*>(input.data()));
  size_t inLeft = input.size() * sizeof(typename In::value_type);
  std::vector<char> buffer(inLeft * 4 + 16);
  while (inLeft > 0) {
    char* out = buffer.data();
    size_t outLeft = buffer.size();
    const size_t done = iconv(converter, &in, &inLeft, &out, &outLeft);
    const size_t produced = buffer.size() - outLeft;
    output.append(reinterpret_cast<const typename Out::value_type*>(buffer.data()),
                  produced / sizeof(typename Out::value_type));
    if (done == static_cast<size_t>(-1) && errno != E2BIG) {
      output.push_back(replacement);
      const size_t skip = std::min(inLeft, sizeof(typename In::value_type));
      in += skip;
      inLeft -= skip;
    }
  }
  iconv_close(converter);
  return output;
}

}  // namespace

std::string ToCp949(const std::wstring& text) {
  return Convert<std::string>("CP949", "WCHAR_T", text, '?');
}

std::wstring FromCp949(const std::string& text) {
  return Convert<std::wstring>("WCHAR_T", "CP949", text, L'?');
}

}  // namespace fenn::fake
