#include "ui/win/AddrForm.h"

#include <commctrl.h>

#include <climits>
#include <cstdint>

#include "params/ParameterUnit.h"
#include "params/TypedNumber.h"
#include "ui/core/Files.h"
#include "ui/win/Controls.h"
#include "ui/win/Glyphs.h"
#include "ui/win/ParamWindow.h"
#include "ui/win/Text.h"

namespace qx25::win {
namespace {

constexpr wchar_t kClass[] = L"TAddrFrm";
constexpr int kClientWidth = 226;
constexpr int kClientHeight = 104;
constexpr int kNTrkEdit = 100, kNPstEdit = 101;
constexpr int kReasonWidth = 214;
constexpr COLORREF kReasonColour = RGB(0xFF, 0x00, 0x00);

// The arrows step from the number the field shows; from a text that does not
// read they take no step (the up-down would put its own last position back).
void StepField(HWND Edit, int Delta) {
  const params::TTypedValue typed =
      params::ReadTypedInteger(Utf8(WindowText(Edit)), -INT_MAX, INT_MAX, NumberFormat());
  if (!typed) return;
  const int64_t next = *typed.Raw + Delta;
  if (next >= -INT_MAX && next <= INT_MAX) SetWindowTextW(Edit, std::to_wstring(next).c_str());
}

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
      // Enter and "Вычислить" compute; Esc and "Отмена" cancel.
      if (LOWORD(W) == IDOK) self->Compute();
      if (LOWORD(W) == IDCANCEL) self->Done = true;
      return 0;
    case WM_NOTIFY:
      if (reinterpret_cast<const NMHDR*>(L)->code == UDN_DELTAPOS) {
        const auto* step = reinterpret_cast<const NMUPDOWN*>(L);
        for (HWND edit : {self->NTrkEdit, self->NPstEdit})
          if (GetPropW(edit, L"qx25.UpDown") == step->hdr.hwndFrom) StepField(edit, step->iDelta);
        return 1;  // the edit's text is the value, not the up-down's position
      }
      return 0;
    case WM_CTLCOLORSTATIC:
      if (reinterpret_cast<HWND>(L) == self->AddrReason) {
        const auto dc = reinterpret_cast<HDC>(W);
        SetTextColor(dc, kReasonColour);
        SetBkMode(dc, TRANSPARENT);
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
      }
      break;
    case WM_DRAWITEM:
      return DrawGlyphButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(L));
    case WM_CLOSE:
    case WM_DESTROY:
      self->Done = true;
      return 0;
  }
  return DefWindowProcW(Window, Message, W, L);
}

void TAddrFrm::Compute() {
  const params::TTypedValue address =
      ui::ReadNozzleAddress(Driver, Utf8(WindowText(NPstEdit)), Utf8(WindowText(NTrkEdit)));
  if (!address) {
    // A long reason is narrowed into the room there is; the dialog keeps its size.
    const std::wstring reason = Wide(address.Refusal);
    SendMessageW(AddrReason, WM_SETFONT,
                 reinterpret_cast<WPARAM>(FittedFont(reason, kReasonWidth, false)), FALSE);
    SetWindowTextW(AddrReason, reason.c_str());
    return;
  }
  Address = static_cast<int>(*address.Raw);
  Done = true;
}

std::optional<int> TAddrFrm::Ask(HWND Owner, TQX25* Driver) {
  TAddrFrm form;
  form.Driver = Driver;
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
  form.AddrReason = MakeControl(w, L"STATIC", L"AddrReason", "", WS_VISIBLE | SS_LEFT | SS_NOPREFIX,
                                {8, 47, kReasonWidth, 15}, -1);
  MakeControl(w, L"STATIC", L"Bevel1", "", WS_VISIBLE | SS_ETCHEDHORZ, {0, 64, 225, 2}, -1);
  MarkDefault(MakeGlyphButton(w, L"BitBtn1", "Вычислить", OkGlyph, {48, 72, 83, 25}, IDOK));
  MakeGlyphButton(w, L"BitBtn2", "Отмена", CancelGlyph, {136, 72, 83, 25}, IDCANCEL);
  SetFocus(form.NPstEdit);
  SendMessageW(form.NPstEdit, EM_SETSEL, 0, -1);
  RunModal(w, Owner, form.Done, nullptr);
  // Closed by its owner going, the dialog gives nothing, whatever was computed.
  const bool whole = IsWindow(w);
  if (whole) {
    SetWindowLongPtrW(w, GWLP_USERDATA, 0);
    DestroyWindow(w);
  }
  return whole ? form.Address : std::nullopt;
}

void TParamFrm::AddrBtnClick() {
  const HWND self = Window;
  const std::optional<int> address = TAddrFrm::Ask(Window, Driver);
  if (address && IsWindow(self)) SetSpinValue(AddrEdit, *address);
}

}  // namespace qx25::win
