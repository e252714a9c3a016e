// A station's main window in small, for Windows: a menu bar with "&Файл" and
// "&ТРК", qx25.dll loaded by name, the driver on the Win32 serial dispatcher,
// and slot 24 called as a host does, following the contract of QX25.h.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "SerialDispatcher.h"
#include "driver/DriverPtr.h"
#include "driver/QX25.h"

// Counts the exchanges, so that a test can tell that nothing was sent after
// a given moment.
class TCountingDispatcher : public qx25::serial::SerialDispatcher {
 public:
  int32_t Transact(uint8_t Port, const uint8_t* Frame, uint8_t FrameLength, uint8_t* Reply,
                   uint8_t ReplyLength, uint8_t ReplyMode) override {
    ++Sent;
    return SerialDispatcher::Transact(Port, Frame, FrameLength, Reply, ReplyLength, ReplyMode);
  }
  std::atomic<int> Sent = 0;
};

// UTF-8 as the wide API takes it.
std::wstring Wide(const std::string& Text);

class TWindowHost {
 public:
  // Loads qx25.dll and builds the driver; throws when either fails.
  TWindowHost();
  ~TWindowHost();
  TWindowHost(const TWindowHost&) = delete;
  TWindowHost& operator=(const TWindowHost&) = delete;

  // Creates the main window with its menu and calls slot 24 on it.
  void Open();
  // Runs the host's messages until its window is gone.
  int Run();

  static constexpr UINT kExitCommand = 100;  // "Выход": destroys the window
  HWND Window = nullptr;
  HMENU Station = nullptr;  // the "&ТРК" popup
  UINT ItemCommand = 0;     // what the driver's item sends, 0 before slot 24
  TCountingDispatcher Lines;
  DriverPtr Driver;

 private:
  static LRESULT CALLBACK Proc(HWND Window, UINT Message, WPARAM W, LPARAM L);
  static void* CreateMenuItem(void* Parent, int32_t Position);
  HMODULE Library = nullptr;
};
