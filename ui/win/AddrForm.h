// The nozzle address dialog "Адрес пистолета": a dispenser and a nozzle
// number, from which the window computes the nozzle's network address.
#pragma once

#include <windows.h>

#include <optional>

namespace qx25::win {

class TAddrFrm {
 public:
  struct TNumbers {
    int Nozzle = 0, Dispenser = 0;
  };
  // Shows a fresh dialog (both numbers 0) modally over Owner; the numbers
  // when "Вычислить" closed it, nothing after "Отмена", Esc or the close box
  // (or when Owner went meanwhile).
  static std::optional<TNumbers> Ask(HWND Owner);

 private:
  static LRESULT CALLBACK Proc(HWND Window, UINT Message, WPARAM W, LPARAM L);
  HWND Window = nullptr;
  HWND NTrkEdit = nullptr, NPstEdit = nullptr;
  bool Done = false;
  bool Accepted = false;
};

}  // namespace qx25::win
