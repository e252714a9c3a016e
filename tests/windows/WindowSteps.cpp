// The steps of the window test, each what a technician does and sees.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <cstdio>

#include "WindowTest.h"

namespace {

constexpr int kColRead = 3, kColWrite = 4;
constexpr int kDensityRow = 21;  // code 16, a number with two decimals
constexpr int kHoseModeRow = 8;  // code 2, a list
constexpr int kFirstBulkRow = 8, kLastRow = 50;
constexpr int kBulkRows = 43;
const std::string kReadError = "Ошибка чтения!";
const std::string kWritten = "Операция записи проведена.";
const std::string kNotWritten = "Ошибка при проведении операции записи.";
constexpr int kSuccess = 2, kFailure = 3;  // the "Colour" property: TStatusColour + 1

}  // namespace

void TWindowTest::Tabs() {
  RECT client{};
  GetClientRect(Frame, &client);
  Check(client.right == 817 && client.bottom == 705, "the client area is 817 x 705");
  auto rows = [this](int From, int To) {
    for (int row = 1; row <= kLastRow; ++row)
      if (Shown(row) != (row >= From && row <= To)) return false;
    return true;
  };
  Check(rows(2, 6), "tab 0 shows rows 2 to 6");
  Check(!IsWindowVisible(Control(L"edIDNumber")), "no ID number outside tab 1");
  Snapshot("win-tab0");
  ClickTab(1);
  Check(rows(1, 1), "tab 1 shows row 1");
  Check(IsWindowVisible(Control(L"edIDNumber")) != FALSE, "tab 1 shows the ID number");
  Snapshot("win-tab1");
  ClickTab(2);
  Check(rows(7, kLastRow), "tab 2 shows rows 7 to 50");
  Snapshot("win-tab2");
}

void TWindowTest::ReadAndWriteAll() {
  SendMessageW(Control(L"Button1"), BM_CLICK, 0, 0);
  const bool read = WaitUntil([this] {
    for (int row = kFirstBulkRow; row <= kLastRow; ++row)
      if (Cell(kColRead, row).empty()) return false;
    return true;
  });
  if (Check(read, "read-all fills the read column"))
    for (int row = kFirstBulkRow; row <= kLastRow; ++row)
      Check(Cell(kColRead, row) != kReadError, "row " + std::to_string(row) + " read");
  Check(Cell(kColRead, 7).empty(), "read-all leaves the card code alone");
  SendMessageW(Control(L"WriteBtn"), BM_CLICK, 0, 0);
  Check(WaitUntil([this] { return Status() == "Операция записи параметра 45"; }),
        "write-all ends with code 45, status \"" + Status() + "\"");
}

void TWindowTest::EditInPlace() {
  // A number, confirmed: the controller has it, and reads it back.
  ClickCell(kColWrite, kDensityRow);
  HWND edit = Control(L"WriteValueEdit");
  if (!Check(WaitUntil([&] { return IsWindowVisible(edit) != FALSE; }), "the number editor opens"))
    return;
  SetText(edit, "800");
  Snapshot("win-editor");
  PostMessageW(edit, WM_KEYDOWN, VK_RETURN, 0);
  if (!Confirm(true)) return;
  Check(WaitUntil([this] { return Status() == kWritten; }), "the write is confirmed: " + Status());
  Check(StatusColour() == kSuccess, "a write turns the status bar green");
  const std::string written = Cell(kColWrite, kDensityRow);
  Check(Cell(kColRead, kDensityRow) == written, "the read column shows what was written");
  Check(written.rfind("800", 0) == 0, "800 was written: " + written);
  SetText(Control(L"StatusBar1"), "");
  ClickCell(kColRead, kDensityRow, true);
  Check(Cell(kColRead, kDensityRow) == written, "the controller gives back what was written");

  // A list, cancelled, then confirmed.
  ClickCell(kColWrite, kHoseModeRow);
  HWND list = Control(L"WriteValueCB");
  if (!Check(WaitUntil([&] { return IsWindowVisible(list) != FALSE; }), "the list editor opens"))
    return;
  const std::string before = Cell(kColWrite, kHoseModeRow);
  const int item = static_cast<int>(SendMessageW(list, CB_GETCURSEL, 0, 0)) == 1 ? 2 : 1;
  SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(item), 0);
  PostMessageW(list, WM_KEYDOWN, VK_RETURN, 0);
  Confirm(false);
  Check(Cell(kColWrite, kHoseModeRow) == before, "a cancelled write changes nothing");
  PostMessageW(list, WM_KEYDOWN, VK_RETURN, 0);
  Confirm(true);
  Check(WaitUntil([&] { return Cell(kColWrite, kHoseModeRow) != before; }),
        "a confirmed list write changes the value");
  Check(Cell(kColRead, kHoseModeRow) == Cell(kColWrite, kHoseModeRow), "and the read column");

  // A write the controller refuses: the one at address 2 answers CAN to
  // writes of this code (the script starts the simulator so).
  HWND address = Control(L"AddrEdit");
  SetText(address, "2");
  ClickCell(kColWrite, kDensityRow);
  if (!Check(WaitUntil([&] { return IsWindowVisible(edit) != FALSE; }), "the editor moves")) return;
  PostMessageW(edit, WM_KEYDOWN, VK_RETURN, 0);
  Confirm(true);
  Check(WaitUntil([this] { return Status() == kNotWritten; }), "a refusal is said: " + Status());
  Check(StatusColour() == kFailure, "a refused write turns the status bar red");
  Snapshot("win-failed");
  SetText(address, "1");
  PostMessageW(edit, WM_KEYDOWN, VK_ESCAPE, 0);
  Check(WaitUntil([&] { return !IsWindowVisible(edit); }), "Esc closes the editor");
  Check(IsWindowVisible(Frame) != FALSE, "and leaves the window open");
}

void TWindowTest::Files() {
  const std::wstring file = Directory + L"\\win.par";
  DeleteFileW(file.c_str());
  const std::string saved = Cell(kColWrite, kDensityRow);
  PostMessageW(Control(L"SaveBtn"), BM_CLICK, 0, 0);
  if (!FileDialog("Сохранение файла настроек", file)) return;
  Check(WaitUntil([&] { return GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES; }),
        "the file is saved");
  // Loaded back later (after the edits), it brings the saved value back.
  Loaded = [this, file, saved] {
    PostMessageW(Control(L"LoadBtn"), BM_CLICK, 0, 0);
    if (!FileDialog("Считать параметры из файла", file)) return;
    Check(Cell(kColWrite, kDensityRow) == saved, "loading brings back " + saved);
  };
}

void TWindowTest::AddressDialog() {
  PostMessageW(Control(L"AddrBtn"), BM_CLICK, 0, 0);
  HWND dialog = nullptr;
  // Visible once its controls are made.
  if (!Check(WaitUntil([&] { return (dialog = TopLevel(L"AddrFrm")) && IsWindowVisible(dialog); }),
             "the address dialog opens"))
    return;
  auto named = [dialog](const wchar_t* Name) {
    HWND found = nullptr;
    for (HWND w = FindWindowExW(dialog, nullptr, nullptr, nullptr); w && !found;
         w = FindWindowExW(dialog, w, nullptr, nullptr))
      if (const auto* n = static_cast<const wchar_t*>(GetPropW(w, L"Name"));
          n && std::wstring(n) == Name)
        found = w;
    return found;
  };
  Check(named(L"NTrkEdit") && named(L"NPstEdit"), "the dialog has both numbers");
  SetText(named(L"NTrkEdit"), "3");
  SetText(named(L"NPstEdit"), "2");
  Snapshot("win-address");
  PostMessageW(named(L"BitBtn1"), BM_CLICK, 0, 0);
  Check(WaitUntil([&] { return !IsWindow(dialog); }), "\"Вычислить\" closes the dialog");
  HWND address = Control(L"AddrEdit");
  wchar_t text[16] = {};
  WaitUntil([&] { return GetWindowTextW(address, text, 16) > 0 && std::wstring(text) == L"4"; });
  Check(std::wstring(text) == L"4",
        "dispenser 3, nozzle 2 give address 4, not " + std::to_string(_wtoi(text)));
  SetText(address, "1");
}

void TWindowTest::CopyAndPaste() {
  if (Loaded) Loaded();
  const std::string copied = Cell(kColWrite, kDensityRow);
  ClickTool(0);  // CopyTool
  SendMessageW(Control(L"BitBtn1"), BM_CLICK, 0, 0);
  HWND first = Frame;
  if (!Check(WaitUntil([&] { return !IsWindow(first); }), "\"Закрыть (Esc)\" closes the window"))
    return;
  if (!OpenWindow()) return;
  ClickTab(2);
  Check(Cell(kColWrite, kDensityRow) != copied, "a new window starts from the catalog");
  ClickTool(1);  // PasteTool
  Check(Cell(kColWrite, kDensityRow) == copied, "paste brings the copied " + copied);
}

void TWindowTest::CloseDuringRun() {
  const int before = Host.Lines.Sent;
  SendMessageW(Control(L"Button1"), BM_CLICK, 0, 0);
  PostMessageW(Control(L"BitBtn1"), BM_CLICK, 0, 0);
  HWND closed = Frame;
  Check(WaitUntil([&] { return !IsWindowVisible(closed); }), "the window closes during a run");
  Check(WaitUntil([&] { return !IsWindow(closed); }, 60000), "and goes when its run ends");
  Check(Host.Lines.Sent - before >= kBulkRows, "the run went on to its end");
  Frame = nullptr;
}

void TWindowTest::DestroyHostDuringRun() {
  if (!OpenWindow()) return;
  const int before = Host.Lines.Sent;
  SendMessageW(Control(L"Button1"), BM_CLICK, 0, 0);
  WaitUntil([&] { return Host.Lines.Sent - before >= 3; });
  const int asked = Host.Lines.Sent - before;
  PostMessageW(Host.Window, WM_COMMAND, TWindowHost::kExitCommand, 0);
  Check(WaitUntil([this] { return !IsWindow(Host.Window); }), "the host's window goes");
  Check(!IsWindow(Frame), "and the service window with it");
  // The run was waited for while the windows went: what has been sent by
  // now is all that is ever sent (wmain compares at the end).
  SentAtHostGone = Host.Lines.Sent;
  Check(SentAtHostGone - before < kBulkRows, "the run stopped after the exchange in flight");
  std::printf("host closed after %d requests of the run, gone after %d\n", asked,
              SentAtHostGone - before);
}
