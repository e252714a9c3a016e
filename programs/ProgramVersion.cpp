#include "ProgramVersion.h"

#include <iconv.h>

#include <algorithm>
#include <memory>

#include "driver/DriverPtr.h"

namespace qx25::programs {

namespace {

constexpr char kDriverEncoding[] = "CP1251";
// A Windows-1251 byte takes at most three bytes in UTF-8.
constexpr size_t kUtf8PerByte = 3;

// ASCII as it is, anything else as '?': what is left when iconv cannot help.
std::string AsciiOnly(const char* Text, size_t Length) {
  std::string out(Text, Length);
  std::replace_if(
      out.begin(), out.end(), [](char c) { return static_cast<unsigned char>(c) > 0x7F; }, '?');
  return out;
}

}  // namespace

std::string DriverInfoText(const TDriverInfo& Info) {
  const size_t length = std::min<size_t>(Info.Length, sizeof Info.Text);
  const iconv_t cd = iconv_open("UTF-8", kDriverEncoding);
  if (cd == reinterpret_cast<iconv_t>(-1)) return AsciiOnly(Info.Text, length);
  std::string out(length * kUtf8PerByte, '\0');
  char* in = const_cast<char*>(Info.Text);
  char* dst = out.data();
  size_t inLeft = length, outLeft = out.size();
  const size_t done = iconv(cd, &in, &inLeft, &dst, &outLeft);
  iconv_close(cd);
  if (done == static_cast<size_t>(-1)) return AsciiOnly(Info.Text, length);
  out.resize(out.size() - outLeft);
  return out;
}

std::string ProgramVersion(const std::string& Program) { return Program + " " + QX25_VERSION; }

std::string VersionText(const std::string& Program, decltype(&GetQX25) Factory) {
  const std::string version = ProgramVersion(Program);
  if (Factory == nullptr) return version;
  const DriverPtr driver(Factory(0, 0, nullptr));
  return version + "\nlibqx25 driver: " + DriverInfoText(driver->GetDriverInfo());
}

}  // namespace qx25::programs
