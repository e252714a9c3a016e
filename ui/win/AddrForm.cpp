#include "ui/win/AddrForm.h"

#include <climits>

#include "ui/core/Files.h"
#include "ui/win/Controls.h"
#include "ui/win/Glyphs.h"
#include "ui/win/ParamWindow.h"

namespace qx25::win {
namespace {

constexpr wchar_t kClass[] = L"TAddrFrm";
constexpr int kClientWidth = 226;
constexpr int kClientHeight = 104;
constexpr int kNTrkEdit = 100, kNPstEdit = 101;

}  // namespace

LRESULT CALLBACK TAddrFrm::Proc(HWND Window, UINT Message, WPARAM W, LPARAM L) {
  if (Message == WM_NCCREATE)
    SetWindowLongPtrW(
        Window, GWLP_USERDATA,
        reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(L)->lpCreateParams));
  auto* self = reinterpret_cast<TAddrFrm*>(GetWindowLongPtrW(Window, GWLP_USERDATA));
  if (!self) return DefWindowProcW(Window, Message, W, L);
  switch (Message) {
    case WM_COMMAND:
      // Enter and "Вычислить" accept; Esc and "Отмена" cancel.
      if (LOWORD(W) == IDOK || LOWORD(W) == IDCANCEL) {
        self->Accepted = LOWORD(W) == IDOK;
        self->Done = true;
      }
      return 0;
    case WM_DRAWITEM:
      return DrawGlyphButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(L));
    case WM_CLOSE:
    case WM_DESTROY:
      self->Done = true;
      return 0;
  }
  return DefWindowProcW(Window, Message, W, L);
}

std::optional<TAddrFrm::TNumbers> TAddrFrm::Ask(HWND Owner) {
  TAddrFrm form;
  form.Window = MakeFrame(kClass, &TAddrFrm::Proc, L"AddrFrm", "Адрес пистолета", Owner,
                          kClientWidth, kClientHeight, &form);
  if (!form.Window) return std::nullopt;
  HWND w = form.Window;
  constexpr DWORD label = WS_VISIBLE | SS_LEFT | SS_NOPREFIX;
  // The nozzle first in the tab order: it has the focus when the dialog opens.
  form.NPstEdit = MakeSpin(w, L"NPstEdit", {112, 24, 65, 22}, kNPstEdit, -INT_MAX, INT_MAX, 0);
  form.NTrkEdit = MakeSpin(w, L"NTrkEdit", {16, 24, 65, 22}, kNTrkEdit, -INT_MAX, INT_MAX, 0);
  MakeControl(w, L"STATIC", L"Label1", "№ ТРК", label, {8, 8, 90, 14}, -1);
  MakeControl(w, L"STATIC", L"Label2", "№ пистолета", label, {103, 8, 110, 14}, -1);
  MakeControl(w, L"STATIC", L"Bevel1", "", WS_VISIBLE | SS_ETCHEDHORZ, {0, 64, 225, 2}, -1);
  MakeGlyphButton(w, L"BitBtn1", "Вычислить", OkGlyph, {48, 72, 83, 25}, IDOK);
  MakeGlyphButton(w, L"BitBtn2", "Отмена", CancelGlyph, {136, 72, 83, 25}, IDCANCEL);
  SetFocus(form.NPstEdit);
  SendMessageW(form.NPstEdit, EM_SETSEL, 0, -1);
  RunModal(w, Owner, form.Done, nullptr);
  std::optional<TNumbers> numbers;
  if (form.Accepted && IsWindow(w))
    numbers = TNumbers{SpinValue(form.NPstEdit), SpinValue(form.NTrkEdit)};
  if (IsWindow(w)) {
    SetWindowLongPtrW(w, GWLP_USERDATA, 0);
    DestroyWindow(w);
  }
  return numbers;
}

void TParamFrm::AddrBtnClick() {
  const HWND self = Window;
  const std::optional<TAddrFrm::TNumbers> numbers = TAddrFrm::Ask(Window);
  if (!numbers || !IsWindow(self)) return;
  if (const std::optional<int> address =
          ui::NozzleAddress(Driver, numbers->Nozzle, numbers->Dispenser))
    SetSpinValue(AddrEdit, *address);
}

}  // namespace qx25::win
