// What both windows build their controls with: the form font, named
// controls, spin edits, buttons with a glyph, and the modal loop.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace qx25::win {

// Every control carries its object name here (a static wide string), so
// that tests and tools find it as they find a Qt control by objectName.
inline constexpr wchar_t kNameProperty[] = L"Name";
void SetName(HWND Window, const wchar_t* Name);
const wchar_t* NameOf(HWND Window);
// The first window under Root (Root included) with that name, or null.
HWND FindNamed(HWND Root, const wchar_t* Name);

// The forms' font: the dialog font at 8 points, and its bold cut.
HFONT FormFont();
HFONT BoldFont();
// The form font (bold or not), narrowed as far as needed for Text to fit in
// Room pixels (to Narrowest percent of its width at most), as the Qt forms
// narrow a caption that does not fit.
inline constexpr int kNarrowest = 70;
HFONT FittedFont(const std::wstring& Text, int Room, bool Bold, int Narrowest = kNarrowest);

struct TPlace {
  int X, Y, Width, Height;
};

HWND MakeControl(HWND Parent, const wchar_t* Class, const wchar_t* Name, const std::string& Text,
                 DWORD Style, TPlace At, int Id, HFONT Font = FormFont());

// An integer spin edit: an edit with an up-down control inside its right
// edge. Returns the edit; the value is held to Min..Max when it is read.
HWND MakeSpin(HWND Parent, const wchar_t* Name, TPlace At, int Id, int Min, int Max, int Value);
int SpinValue(HWND Edit);
void SetSpinValue(HWND Edit, int Value);

// A push button that shows one of the glyphs (Glyphs.h) before its caption;
// its parent passes WM_DRAWITEM on to DrawGlyphButton.
HWND MakeGlyphButton(HWND Parent, const wchar_t* Name, const std::string& Text, int Glyph,
                     TPlace At, int Id);
bool DrawGlyphButton(const DRAWITEMSTRUCT& Item);
// Draws Button as the one Enter presses (an owner-drawn button cannot say so
// by its style).
void MarkDefault(HWND Button);
// A flat tool button that shows its glyph alone (Caption is its text for
// mnemonics and tools) and Hint as a tip under the mouse; a tab stop.
HWND MakeToolButton(HWND Parent, const wchar_t* Name, const std::string& Caption,
                    const std::string& Hint, int Glyph, TPlace At, int Id);
// A plain holder of controls that passes their commands and drawing on to
// its parent.
HWND MakePanel(HWND Parent, const wchar_t* Name, TPlace At, int Id);

// Names the next dialog this thread creates (a message box, a file dialog:
// the system makes them, so they cannot be named as they are made), while
// the object lives.
class TNameNextDialog {
 public:
  explicit TNameNextDialog(const wchar_t* Name);
  ~TNameNextDialog();
  TNameNextDialog(const TNameNextDialog&) = delete;
  TNameNextDialog& operator=(const TNameNextDialog&) = delete;

 private:
  static LRESULT CALLBACK Hook(int Code, WPARAM W, LPARAM L);
  HHOOK Installed = nullptr;
};

std::wstring WindowText(HWND Window);

// A fixed frame with a caption and a close box whose client area is
// Width x Height, centred on the screen; its class (Proc, the dialog
// colour) is registered on first use. Self reaches WM_NCCREATE's
// CREATESTRUCT::lpCreateParams.
HWND MakeFrame(const wchar_t* Class, WNDPROC Proc, const wchar_t* Name, const std::string& Caption,
               HWND Owner, int Width, int Height, void* Self);

// Shows Window modally over Owner (disabled meanwhile) and runs its messages
// until Done is set. PreTranslate sees each message first and returns true
// for one it has handled. A WM_QUIT ends the loop and is posted again for
// the host's loop.
void RunModal(HWND Window, HWND Owner, const bool& Done,
              const std::function<bool(const MSG&)>& PreTranslate);

}  // namespace qx25::win
