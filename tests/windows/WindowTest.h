// The service window driven the way a technician drives it, by window
// messages from a thread of its own while the host's thread runs the
// window: controls are found by their names (the "Name" property), cells
// are read with the grid's qx25.CellText message.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "WindowHost.h"

// The wide API's text as UTF-8.
std::string Utf8(const std::wstring& Text);

class TWindowTest {
 public:
  TWindowTest(TWindowHost& Host, int Port, std::wstring Directory, DWORD UiThread);
  // Every step in order; ends by destroying the host's window mid-run.
  void All();
  int Failures() const { return Failed; }
  // What the dispatcher had sent when the host's window was gone; -1 before.
  int SentAtHostGone = -1;

 private:
  bool Check(bool Condition, const std::string& What);
  bool WaitUntil(const std::function<bool()>& Condition, int Milliseconds = 20000);
  HWND TopLevel(const wchar_t* Name) const;
  // The first window of the window's thread that Match takes, or null.
  HWND ThreadWindow(const std::function<bool(HWND)>& Match) const;
  HWND Box(const std::string& Caption) const;
  HWND Control(const wchar_t* Name) const;
  std::string Cell(int Col, int Row) const;
  bool Shown(int Row) const;
  void ClickCell(int Col, int Row, bool Double = false);
  void ClickTab(int Tab);
  void ClickTool(int Index);
  std::string Status() const;
  int StatusColour() const;
  void SetText(HWND Control, const std::string& Text);
  // Types Text into Edit a key at a time (WM_CHAR), after selecting what it
  // holds when Replace; Text may be empty, which leaves the edit empty then.
  // The keys are posted: the caller waits for the text it expects.
  void Type(HWND Edit, const std::string& Text, bool Replace = true);
  std::string TextOf(HWND Window) const;
  // The confirmation's text, answered with OK; empty when none came.
  std::string ConfirmedText();
  // The service window, or Of (a message box) when given.
  void Snapshot(const char* Name, HWND Of = nullptr);
  HWND Focused() const;
  // A key pressed and released as the keyboard does it, with Shift held if asked.
  void Press(WORD Key, bool Shift = false);
  bool OpenWindow();
  bool Confirm(bool Ok);
  bool FileDialog(const std::string& Title, const std::wstring& FileName);

  void Tabs();
  void ReadAndWriteAll();
  void EditInPlace();
  void TypedEdits();
  void RefusedAddress();
  void Files();
  void AddressDialog();
  void CopyAndPaste();
  void CloseDuringRun();
  void QuitDuringWriteAll();
  void DestroyHostDuringRun();
  void Keyboard();
  void Hints();
  void CodeColumn();
  void Looks();
  void AddressDialogLooks();
  void LostLine();

  TWindowHost& Host;
  const int Port;
  const std::wstring Directory;
  const DWORD UiThread;
  HWND Frame = nullptr;
  HWND Grid = nullptr;
  int Failed = 0;
  std::function<void()> Loaded;  // loads the saved file back
};
