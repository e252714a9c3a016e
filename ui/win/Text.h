// The window's texts come from the same UTF-8 sources as on Linux and meet
// the wide-character API here, converted once at the boundary.
#pragma once

#include <string>

namespace qx25::win {

std::wstring Wide(const std::string& Utf8);
std::string Utf8(const std::wstring& Text);

}  // namespace qx25::win
