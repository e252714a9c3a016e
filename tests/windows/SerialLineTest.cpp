// The Win32 serial dispatcher's failure classes where no line answers; the
// exchanges themselves run against the simulator in scripts/test-windows.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "SerialDispatcher.h"

namespace {

using namespace qx25::serial;

const uint8_t kFrame[] = {0x02, 0x31, 0x03};

TEST(WindowsSerialLine, APortWithoutADeviceFailsAsNoDevice) {
  SerialDispatcher lines;
  lines.SetDevicePath(7, "\\\\.\\COM97");  // no such port in this prefix
  uint8_t reply[8];
  EXPECT_EQ(
      lines.Transact(7, kFrame, sizeof kFrame, reply, sizeof reply, PortDispatcher::kReplyData),
      kSerialNoDevice);
  EXPECT_EQ(lines.GetLineStatus(7), kLineNoDevice);
  EXPECT_EQ(lines.GetErrorCode(7), kSerialNoDevice);
  EXPECT_FALSE(lines.IsOpen(7));
  // The system's reason is kept, as one line of text fit to follow a colon.
  EXPECT_NE(lines.LastSystemError(7), 0);
  const std::string why = lines.LastFailureText(7);
  ASSERT_FALSE(why.empty());
  EXPECT_EQ(why.find_first_of("\r\n"), std::string::npos) << why;
  EXPECT_NE(why.back(), '.') << why;
  // Port 0 has no device to open: no system call failed.
  EXPECT_EQ(
      lines.Transact(0, kFrame, sizeof kFrame, reply, sizeof reply, PortDispatcher::kReplyData),
      kSerialNoDevice);
  EXPECT_EQ(lines.LastSystemError(0), 0);
  EXPECT_EQ(lines.LastFailureText(0), "");
}

TEST(WindowsSerialLine, AFileIsNoCommunicationsDevice) {
  const auto file = std::filesystem::temp_directory_path() / "qx25-not-a-port.txt";
  std::ofstream(file) << "x";
  SerialDispatcher lines;
  lines.SetDevicePath(4, file.string());
  EXPECT_EQ(lines.SetLineParams(4, PortDispatcher::kFormat8N1, 4800), kSerialNoDevice);
  EXPECT_FALSE(lines.IsOpen(4));
  std::filesystem::remove(file);
}

TEST(WindowsSerialLine, UnknownSettingsAreRefusedBeforeAnyDeviceIsOpened) {
  SerialDispatcher lines;
  lines.SetDevicePath(5, "\\\\.\\COM97");
  EXPECT_EQ(lines.SetLineParams(5, PortDispatcher::kFormat8N1 + 1, 4800), kSerialBadSettings);
  EXPECT_EQ(lines.SetLineParams(5, PortDispatcher::kFormat8N1, 4801), kSerialBadSettings);
  EXPECT_EQ(lines.SetLineParams(5, PortDispatcher::kFormat8N1, 4800), kSerialNoDevice);
}

TEST(WindowsSerialLine, PortNMeansComN) {
  SerialDispatcher lines;
  EXPECT_EQ(lines.DevicePath(3), "\\\\.\\COM3");
  EXPECT_EQ(lines.DevicePath(0), "");
}

}  // namespace
