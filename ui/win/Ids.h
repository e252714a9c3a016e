// The parameter window's control identifiers, timers and private messages.
#pragma once

#include <windows.h>

namespace qx25::win {

enum TControlId {
  kIdComPortEdit = 100,  // clear of IDOK and IDCANCEL, which Enter and Esc send
  kIdAddrEdit,
  kIdAddrBtn,
  kIdIDNumber,
  kIdButton1,
  kIdSaveBtn,
  kIdLoadBtn,
  kIdWriteBtn,
  kIdToolBar,
  kIdCopyTool,
  kIdPasteTool,
  kIdBitBtn1,
  kIdTabControl,
  kIdGrid,
  kIdStatusBar,
  kIdWriteValueEdit,
  kIdWriteValueEdit2,
  kIdWriteValueCB,
};

inline constexpr UINT_PTR kTimer1 = 1;  // the status bar's colour back to normal
inline constexpr UINT_PTR kTimer2 = 2;  // the editor placed after a selection

// Posted when an editor loses the focus, so that the focus has reached its
// new control by the time the editor decides whether to close.
inline constexpr UINT kEditorExit = WM_APP + 3;

// On StatusBar1: the colour it shows, as ui::TStatusColour + 1.
inline constexpr wchar_t kColourProperty[] = L"Colour";

}  // namespace qx25::win
