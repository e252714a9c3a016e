// The nozzle address dialog "Адрес пистолета": a dispenser and a nozzle
// number, from which the window computes the nozzle's network address.
#pragma once

#include <windows.h>

#include <optional>

#include "driver/QX25.h"

namespace qx25::win {

class TAddrFrm {
 public:
  // Shows a fresh dialog (both numbers 0) modally over Owner; the address
  // the numbers give when "Вычислить" closed it, nothing after "Отмена", Esc
  // or the close box (or when Owner went meanwhile). Numbers that give no
  // address keep it open, as typed, with the reason beside them.
  static std::optional<int> Ask(HWND Owner, TQX25* Driver);

 private:
  static LRESULT CALLBACK Proc(HWND Window, UINT Message, WPARAM W, LPARAM L);
  void Compute();
  HWND Window = nullptr;
  HWND NTrkEdit = nullptr, NPstEdit = nullptr, AddrReason = nullptr;
  TQX25* Driver = nullptr;  // not owned
  bool Done = false;
  std::optional<int> Address;
};

}  // namespace qx25::win
