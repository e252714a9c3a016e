// The library as a host sees it: loaded with dlopen, the factory resolved by
// name, the operations called by their slot in the table.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <iconv.h>

#include <cstring>
#include <string>

#include "ScriptedDispatcher.h"
#include "driver/QX25.h"

namespace {

using Factory = TQX25* (*)(uint32_t, uintptr_t, PortDispatcher*);

template <typename Fn>
Fn Slot(TQX25* driver, int index) {
  void** table = *reinterpret_cast<void***>(driver);
  return reinterpret_cast<Fn>(table[index]);
}

std::string FromCp1251(const char* text, size_t length) {
  iconv_t cd = iconv_open("UTF-8", "CP1251");
  std::string out(length * 2, '\0');
  char* in = const_cast<char*>(text);
  char* dst = out.data();
  size_t inLeft = length, outLeft = out.size();
  iconv(cd, &in, &inLeft, &dst, &outLeft);
  iconv_close(cd);
  out.resize(out.size() - outLeft);
  return out;
}

class LoadedLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    // Kept mapped after dlclose, as a host that loads a driver once keeps it:
    // the toolkit the service window brings in allocates at load and holds
    // those blocks from its own globals, which an unmapped library would
    // leave looking like leaks.
    handle = dlopen(QX25_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    ASSERT_NE(handle, nullptr) << dlerror();
    create = reinterpret_cast<Factory>(dlsym(handle, "GetQX25"));
    ASSERT_NE(create, nullptr);
  }
  void TearDown() override {
    if (handle) dlclose(handle);
  }
  void* handle = nullptr;
  Factory create = nullptr;
  ScriptedDispatcher line;
};

TEST_F(LoadedLibrary, SlotsOneToThreeThroughTheTable) {
  TQX25* driver = create(0, 0, &line);

  const TDriverInfo info = Slot<TDriverInfo (*)(TQX25*)>(driver, 1)(driver);
  ASSERT_EQ(info.Length, 27);
  EXPECT_EQ(FromCp1251(info.Text, info.Length), "v2.41#Протокол наливной Ж-4");

  auto setStatus = Slot<void (*)(TQX25*, int32_t, int32_t)>(driver, 2);
  auto getStatus = Slot<uint8_t (*)(TQX25*, int32_t)>(driver, 3);
  EXPECT_EQ(getStatus(driver, 3), 0);
  setStatus(driver, 3, 200);
  EXPECT_EQ(getStatus(driver, 3), 200);
  setStatus(driver, 0x103, 0x1FF);  // bytes: port 3, value 255
  EXPECT_EQ(getStatus(driver, 3), 255);
  FreeDriver(driver);
}

TEST_F(LoadedLibrary, SlotZeroThrowsALogicError) {
  TQX25* driver = create(0, 0, &line);
  EXPECT_THROW(Slot<void (*)(TQX25*)>(driver, 0)(driver), std::logic_error);
  FreeDriver(driver);
}

TEST(Construction, OptionsLowByteBitSevenKeepsStatusOnCan) {
  ScriptedDispatcher line;
  struct Case {
    uint32_t options;
    bool keep;
  };
  for (const Case c : {Case{0x80, true}, Case{0x17F, false}, Case{0x180, true}, Case{0, false}}) {
    TQX25* d = GetQX25(c.options, 0, &line);
    EXPECT_EQ(d->KeepStatusOnCan, c.keep) << std::hex << c.options;
    EXPECT_EQ(d->AddressStride, 1);
    EXPECT_EQ(d->Dispatcher, &line);
    FreeDriver(d);
  }
}

TEST(Construction, EachCallMakesAFreshCurrentDriver) {
  ScriptedDispatcher line;
  TQX25* first = GetQX25(0, 0, &line);
  first->SetPortStatus(5, 9);
  TQX25* second = GetQX25(0, 0, &line);
  EXPECT_NE(first, second);
  EXPECT_EQ(CurrentDriver, second);
  for (int port = 1; port <= 30; ++port) EXPECT_EQ(second->GetPortStatus(port), 0);
  EXPECT_EQ(first->GetPortStatus(5), 9);
  // Freeing another driver leaves the current one; freeing it clears it.
  FreeDriver(first);
  EXPECT_EQ(CurrentDriver, second);
  FreeDriver(second);
  EXPECT_EQ(CurrentDriver, nullptr);
}

TEST(Construction, PortOutsideTheTableTouchesNothing) {
  ScriptedDispatcher line;
  TQX25* d = GetQX25(0, 0, &line);
  for (int32_t port : {0, 31, 255, 0x100, -1}) {
    EXPECT_THROW(d->SetPortStatus(port, 1), std::out_of_range) << port;
    EXPECT_THROW(d->GetPortStatus(port), std::out_of_range) << port;
  }
  for (int port = 1; port <= 30; ++port) EXPECT_EQ(d->GetPortStatus(port), 0);
  EXPECT_TRUE(line.Calls.empty());
  FreeDriver(d);
}

TEST(Construction, RecordLayoutsAreFixed) {
  static_assert(sizeof(TDriverInfo) == 28);
  static_assert(sizeof(TNozzlePoll) == 16);
  static_assert(offsetof(TNozzlePoll, Codes) == 2);
  static_assert(offsetof(TNozzlePoll, StateSide) == 14);
  SUCCEED();
}

}  // namespace
