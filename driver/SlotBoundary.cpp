#include "SlotBoundary.h"

#include <cstdint>
#include <cstring>
#include <exception>

namespace qx25 {

std::string& LastFailure() {
  thread_local std::string message;
  return message;
}

void RecordFailure() noexcept {
  try {
    std::string& message = LastFailure();
    try {
      throw;
    } catch (const std::exception& e) {
      message = e.what();
      if (message.empty()) message = "the driver failed without a message";
    } catch (...) {
      message = "the driver failed with an exception that is not a std::exception";
    }
  } catch (...) {
    // No memory for the message: the failure value still says it.
  }
}

}  // namespace qx25

#if defined(_WIN32) && !defined(_WIN64)

// The linker places this symbol at the start of the module's image, whose PE
// header gives the image's size: the module's code lies within.
extern "C" const unsigned char __ImageBase[];

namespace {

bool InThisModule(const void* Address) {
  // IMAGE_DOS_HEADER.e_lfanew, then the optional header's SizeOfImage (the
  // same offset in PE32 and PE32+), behind the 4-byte signature and the
  // 20-byte file header.
  constexpr std::size_t kNewHeaderOffset = 0x3C;
  constexpr std::size_t kSizeOfImageOffset = 4 + 20 + 56;
  int32_t newHeader = 0;
  uint32_t sizeOfImage = 0;
  std::memcpy(&newHeader, __ImageBase + kNewHeaderOffset, sizeof newHeader);
  std::memcpy(&sizeOfImage, __ImageBase + newHeader + kSizeOfImageOffset, sizeof sizeOfImage);
  const auto at = reinterpret_cast<uintptr_t>(Address);
  const auto base = reinterpret_cast<uintptr_t>(__ImageBase);
  return at >= base && at - base < sizeOfImage;
}

}  // namespace

namespace qx25 {

namespace {
thread_local int RunningSlots = 0;
}  // namespace

TSlotScope::TSlotScope(const void* Caller) noexcept {
  if (RunningSlots++ == 0 && !InThisModule(Caller)) LastFailure().clear();
}

TSlotScope::~TSlotScope() { --RunningSlots; }

bool StopAtBoundary(const void* Caller) noexcept {
  if (RunningSlots > 0 || InThisModule(Caller)) return false;
  RecordFailure();
  return true;
}

}  // namespace qx25

#endif
