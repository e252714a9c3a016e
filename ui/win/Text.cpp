#include "ui/win/Text.h"

#include <windows.h>

namespace qx25::win {

std::wstring Wide(const std::string& Utf8Text) {
  if (Utf8Text.empty()) return {};
  const int size = static_cast<int>(Utf8Text.size());
  const int length = MultiByteToWideChar(CP_UTF8, 0, Utf8Text.data(), size, nullptr, 0);
  std::wstring text(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, Utf8Text.data(), size, text.data(), length);
  return text;
}

std::string Utf8(const std::wstring& Text) {
  if (Text.empty()) return {};
  const int size = static_cast<int>(Text.size());
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, Text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, Text.data(), size, text.data(), length, nullptr, nullptr);
  return text;
}

}  // namespace qx25::win
