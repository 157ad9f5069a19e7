// Conversions between the setup's wide text and the system's ANSI code page (949 on a Korean
// system), the encoding of the registry's narrow data and of the paths handed to the codec.
#include "platform/win32/Win32Platform.h"

namespace fenn {

std::string Win32Platform::toAnsi(const std::wstring& text) {
  if (text.empty()) return std::string();
  // Explicit lengths keep embedded NULs: the callers cut at the first one themselves.
  int length = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                   0, nullptr, nullptr);
  if (length <= 0) return std::string();
  std::string narrow(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &narrow[0], length,
                      nullptr, nullptr);
  return narrow;
}

std::wstring Win32Platform::fromAnsi(const std::string& text) {
  if (text.empty()) return std::wstring();
  int length =
      MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
  return wide;
}

}  // namespace fenn
