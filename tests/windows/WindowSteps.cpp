// The steps of the window test, each what a technician does and sees.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

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
  Check(WaitUntil([this] { return Status() == "Прочитано 43 из 43"; }),
        "read-all ends on its summary: " + Status());
  // The summary names what the run left out, red then, and stays.
  SendMessageW(Control(L"WriteBtn"), BM_CLICK, 0, 0);
  Check(WaitUntil([this] { return Status().rfind("Записано ", 0) == 0; }),
        "write-all ends on its summary: " + Status());
  const bool leftOut = Status().find("; не записаны: ") != std::string::npos;
  Check(leftOut == (StatusColour() == kFailure),
        "the summary is red exactly when a code was left out");
  std::printf("write-all: %s\n", Status().c_str());
  // The controller at address 2 refuses code 16 (the script starts the
  // simulator so): the summary names it, red, and stays.
  HWND address = Control(L"AddrEdit");
  SetText(address, "2");
  SendMessageW(Control(L"WriteBtn"), BM_CLICK, 0, 0);
  Check(WaitUntil([this] { return Status().find("16 (ошибка записи)") != std::string::npos; }),
        "write-all names the code it could not write: " + Status());
  Check(StatusColour() == kFailure, "and is red");
  Snapshot("win-write-all-summary");
  SetText(address, "1");
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
  Check(WaitUntil([this] { return Status().rfind("Сохранено: ", 0) == 0; }),
        "the status bar names the saved file: " + Status());
  // A file that is no text is refused, and the status bar says why.
  const std::wstring binary = Directory + L"\\binary.par";
  std::ofstream(std::filesystem::path(binary), std::ios::binary)
      << std::string("[Parametr]\r\n16=80000\r\n\0\x01", 24);
  PostMessageW(Control(L"LoadBtn"), BM_CLICK, 0, 0);
  if (FileDialog("Считать параметры из файла", binary)) {
    Check(
        WaitUntil([this] { return Status().find(": это не текстовый файл") != std::string::npos; }),
        "a refused load says why: " + Status());
    Check(StatusColour() == kFailure, "a refused load is red");
    Check(Cell(kColWrite, kDensityRow) == saved, "and changes nothing");
    Snapshot("win-refused-load");
  }
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
  HWND address = Control(L"AddrEdit");
  const std::string before = TextOf(address);
  // An address past the field's range: refused with the reason, the texts as typed.
  SetText(named(L"NTrkEdit"), "40");
  SetText(named(L"NPstEdit"), "30");
  PostMessageW(named(L"BitBtn1"), BM_CLICK, 0, 0);
  const std::string reason = "адрес 69 вне пределов 1 … 64";
  Check(WaitUntil([&] { return TextOf(named(L"AddrReason")) == reason; }, 5000),
        "dispenser 40, nozzle 30 are refused: \"" + TextOf(named(L"AddrReason")) + "\"");
  Check(IsWindow(dialog) && TextOf(named(L"NPstEdit")) == "30" && TextOf(address) == before,
        "a refusal keeps the dialog and its texts, and the address field");
  Snapshot("win-address-refused");
  SetText(named(L"NTrkEdit"), "3");
  SetText(named(L"NPstEdit"), "2");
  Snapshot("win-address");
  PostMessageW(named(L"BitBtn1"), BM_CLICK, 0, 0);
  Check(WaitUntil([&] { return !IsWindow(dialog); }), "\"Вычислить\" closes the dialog");
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
  Check(WaitUntil([this] { return Status() == "Параметры скопированы в буфер"; }),
        "the copy says so: " + Status());
  SendMessageW(Control(L"BitBtn1"), BM_CLICK, 0, 0);
  HWND first = Frame;
  if (!Check(WaitUntil([&] { return !IsWindow(first); }), "\"Закрыть (Esc)\" closes the window"))
    return;
  if (!OpenWindow()) return;
  ClickTab(2);
  Check(Cell(kColWrite, kDensityRow) != copied, "a new window starts from the catalog");
  ClickTool(1);  // PasteTool
  Check(Cell(kColWrite, kDensityRow) == copied, "paste brings the copied " + copied);
  Check(Status().rfind("Параметры вставлены из буфера: взято значений ", 0) == 0,
        "the paste says so: " + Status());
}

void TWindowTest::CloseDuringRun() {
  const int before = Host.Lines.Sent;
  SendMessageW(Control(L"Button1"), BM_CLICK, 0, 0);
  PostMessageW(Control(L"BitBtn1"), BM_CLICK, 0, 0);
  HWND closed = Frame;
  Check(WaitUntil([&] { return !IsWindowVisible(closed); }), "the window closes during a run");
  // A window opened meanwhile says the run still goes, until it ends.
  const bool reopened = OpenWindow();
  const std::string busy = "Чтение всех параметров ещё идёт";
  if (reopened && IsWindow(closed)) {
    SendMessageW(Control(L"Button1"), BM_CLICK, 0, 0);
    Check(Status() == busy || !IsWindow(closed), "a second read-all is refused: " + Status());
  }
  Check(WaitUntil([&] { return !IsWindow(closed); }, 60000), "and goes when its run ends");
  Check(Host.Lines.Sent - before >= kBulkRows, "the run went on to its end");
  if (reopened) {
    Check(WaitUntil([this, &busy] { return Status() != busy; }),
          "the busy text goes with its run: " + Status());
    SendMessageW(Control(L"BitBtn1"), BM_CLICK, 0, 0);
    HWND second = Frame;
    WaitUntil([&] { return !IsWindow(second); });
  }
  Frame = nullptr;
}

// The host asked to close during a write-all asks first; kept, the run goes
// on; a host that stops it hears how far it got, and nothing more is sent.
void TWindowTest::QuitDuringWriteAll() {
  if (!OpenWindow()) return;
  static const UINT writeRun = RegisterWindowMessageW(L"qx25.WriteRun");
  HWND frame = Frame;
  // No controller answers there: every write waits out its time, and the
  // run is still going whatever the machine's load.
  SetText(Control(L"AddrEdit"), "60");
  SendMessageW(Control(L"WriteBtn"), BM_CLICK, 0, 0);
  Check(SendMessageW(frame, writeRun, 0, 0) == 1, "the window says its write-all runs");
  PostMessageW(Control(L"BitBtn1"), BM_CLICK, 0, 0);
  WaitUntil([&] { return !IsWindowVisible(frame); });
  PostMessageW(Host.Window, WM_CLOSE, 0, 0);
  HWND question = nullptr;
  if (Check(WaitUntil([&] { return (question = Box("qx25 — станция")) != nullptr; }, 5000),
            "closing the host asks first")) {
    std::string text;
    for (HWND w = FindWindowExW(question, nullptr, L"Static", nullptr); w;
         w = FindWindowExW(question, w, L"Static", nullptr))
      text += TextOf(w);
    Check(text == "Идёт запись параметров в ТРК: прервать?", "the question: " + text);
    Snapshot("win-quit-question", question);
    PostMessageW(question, WM_COMMAND, IDNO, 0);
    WaitUntil([&] { return !IsWindow(question); });
  }
  Check(IsWindow(Host.Window) != FALSE, "kept, the host stays");
  std::vector<wchar_t> stopped(1024);
  const LRESULT ran =
      IsWindow(frame) ? SendMessageW(frame, writeRun, 1, reinterpret_cast<LPARAM>(stopped.data()))
                      : 0;
  const std::string text = Utf8(stopped.data());
  if (ran) {
    Check(text.rfind("Запись параметров прервана: записано ", 0) == 0 &&
              text.find(" из 31") != std::string::npos,
          "a stop says how far the run got: " + text);
    const int sent = Host.Lines.Sent;
    Sleep(1000);
    Check(Host.Lines.Sent == sent, "nothing is sent after the stop");
  }
  Check(WaitUntil([&] { return !IsWindow(frame); }), "the closed window goes with its stopped run");
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

namespace {

// A typed text and what becomes of it in the density's editor (600.00 …
// 1,200.00, two decimals). In both texts D stands for the locale's decimal
// separator, G for its group separator, O for the other of '.' and ','.
struct TTypedCase {
  const char* Text;
  const char* Shown;    // the read column after the write; null: refused
  const char* Refusal;  // what the status bar starts with then
};
constexpr TTypedCase kTypedCases[] = {
    {"950D5", "950D50", nullptr},
    {"700O25", "700D25", nullptr},  // unless O groups: refused then
    {"1 100", "1G100D00", nullptr},
    {"1G000D5", "1G000D50", nullptr},
    {"1200", "1G200D00", nullptr},
    {"1200D01", nullptr, "вне пределов 600D00 … 1G200D00"},
    {"600", "600D00", nullptr},
    {"599D99", nullptr, "вне пределов 600D00 … 1G200D00"},
    {"950D555", nullptr, "не более 2 знаков после запятой"},
    {"9x0", nullptr, "не число"},
    {"", nullptr, "не введено значение"},
};

std::string LocaleInfo(LCTYPE Item) {
  wchar_t text[8] = {};
  GetLocaleInfoW(LOCALE_USER_DEFAULT, Item, text, 8);
  std::string out(32, '\0');
  out.resize(static_cast<size_t>(
      WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), 32, nullptr, nullptr) - 1));
  return out;
}

}  // namespace

// What the technician types is what is written: what the confirmation names
// reaches the controller and reads back, or nothing is sent and the status
// bar says why, the text left in the editor as typed.
void TWindowTest::TypedEdits() {
  const std::string decimal = LocaleInfo(LOCALE_SDECIMAL), group = LocaleInfo(LOCALE_STHOUSAND);
  const std::string other = decimal == "," ? "." : ",";
  auto local = [&](std::string Text) {
    std::string out;
    for (char c : Text)
      out += c == 'D' ? decimal : c == 'G' ? group : c == 'O' ? other : std::string(1, c);
    return out;
  };
  HWND edit = Control(L"WriteValueEdit");
  auto open = [&] {
    ClickCell(1, kDensityRow);  // off the "Запись" cell, so that the click below opens it anew
    WaitUntil([&] { return !IsWindowVisible(edit); });
    ClickCell(kColWrite, kDensityRow);
    return Check(WaitUntil([&] { return IsWindowVisible(edit) != FALSE; }), "the editor opens");
  };
  // Enter on what the editor holds: Shown read back (or, without ReadBack,
  // as the window keeps it, the editor left open), or Refusal in the bar.
  auto enter = [&](const std::string& Typed, const std::string& Shown, const std::string& Refusal,
                   bool ReadBack = true) {
    const std::string what = "\"" + Typed + "\": ";
    SetText(Control(L"StatusBar1"), "");
    const int before = Host.Lines.Sent;
    PostMessageW(edit, WM_KEYDOWN, VK_RETURN, 0);
    if (Shown.empty()) {
      Check(WaitUntil([this] { return !Status().empty(); }, 5000), what + "the bar says why");
      Check(Status().rfind(Refusal, 0) == 0, what + "refused with \"" + Status() + "\"");
      Check(StatusColour() == kFailure, what + "in red");
      Check(Box("Подтверждение записи") == nullptr, what + "no confirmation");
      Check(Host.Lines.Sent == before, what + "nothing sent");
      Check(IsWindowVisible(edit) && TextOf(edit) == Typed, what + "kept: " + TextOf(edit));
      return;
    }
    const std::string confirmed = ConfirmedText();
    Check(WaitUntil([this] { return Status() == kWritten; }), what + "written: " + Status());
    if (ReadBack) ClickCell(kColRead, kDensityRow, true);
    const std::string read = Cell(kColRead, kDensityRow);
    Check(read == Shown, what + "the controller gives back " + read + ", not " + Shown);
    const std::string named = ": " + read + " кг/м3";
    Check(confirmed.size() > named.size() &&
              confirmed.compare(confirmed.size() - named.size(), named.size(), named) == 0,
          what + "the confirmation named what was written: " + confirmed);
  };
  for (const TTypedCase& c : kTypedCases) {
    const std::string typed = local(c.Text);
    const bool othersGroup = std::string(c.Text).find('O') != std::string::npos && other == group;
    if (!open()) return;
    Type(edit, typed);
    WaitUntil([&] { return TextOf(edit) == typed; }, 2000);
    if (!Check(TextOf(edit) == typed, "typed " + typed + ", shown " + TextOf(edit))) continue;
    enter(typed, c.Shown && !othersGroup ? local(c.Shown) : "", c.Refusal ? local(c.Refusal) : "");
    if (std::string(c.Text) == "1200D01") Snapshot("win-refused");
  }
  // A second Enter on the same refused text says the same again.
  enter("", "", "не введено значение");

  // After a write the next number replaces the one written, not adds to it.
  if (!open()) return;
  Type(edit, "800");
  WaitUntil([&] { return TextOf(edit) == "800"; }, 2000);
  enter("800", local("800D00"), "", false);
  Type(edit, "850", false);
  WaitUntil([&] { return TextOf(edit).size() >= 3 && TextOf(edit).ends_with("850"); }, 2000);
  Check(TextOf(edit) == "850", "typing after a write replaces the value: " + TextOf(edit));
  enter("850", local("850D00"), "");
  PostMessageW(edit, WM_KEYDOWN, VK_ESCAPE, 0);
  WaitUntil([&] { return !IsWindowVisible(edit); });
}

// An address outside 1 … 64 stays in the field and every request is refused:
// none goes to a clamped address.
void TWindowTest::RefusedAddress() {
  HWND address = Control(L"AddrEdit"), edit = Control(L"WriteValueEdit");
  const std::string refusal = "Адрес пистолета: вне пределов 1 … 64";
  Type(address, "99");
  WaitUntil([&] { return TextOf(address) == "99"; }, 2000);
  SetText(Control(L"StatusBar1"), "");
  int before = Host.Lines.Sent;
  ClickCell(kColRead, kDensityRow, true);
  Check(WaitUntil([&] { return Status() == refusal; }, 5000), "a read is refused: " + Status());
  Check(Host.Lines.Sent == before, "and nothing is sent");
  ClickCell(kColWrite, kDensityRow);
  if (!Check(WaitUntil([&] { return IsWindowVisible(edit) != FALSE; }), "the editor opens")) return;
  Type(edit, "950");
  WaitUntil([&] { return TextOf(edit) == "950"; }, 2000);
  SetText(Control(L"StatusBar1"), "");
  before = Host.Lines.Sent;
  PostMessageW(edit, WM_KEYDOWN, VK_RETURN, 0);
  Check(WaitUntil([&] { return Status() == refusal; }, 5000), "a write is refused: " + Status());
  Check(StatusColour() == kFailure, "in red");
  Check(Box("Подтверждение записи") == nullptr, "with no confirmation");
  Snapshot("win-refused-address");
  PostMessageW(edit, WM_KEYDOWN, VK_ESCAPE, 0);
  WaitUntil([&] { return !IsWindowVisible(edit); });
  SetText(Control(L"StatusBar1"), "");
  SendMessageW(Control(L"Button1"), BM_CLICK, 0, 0);
  Check(Status() == refusal, "read-all is refused: " + Status());
  Check(Host.Lines.Sent == before && TextOf(address) == "99", "nothing sent, 99 kept");
  SetText(address, "1");
}
