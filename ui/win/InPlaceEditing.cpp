// Single reads and writes from the grid: a double click on a "Чтение" cell
// reads that parameter; an editor fitted to the parameter's kind opens over
// a "Запись" cell, and Enter (after a confirmation) writes its value.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <algorithm>
#include <charconv>
#include <cmath>

#include "ui/core/GridText.h"
#include "ui/core/Texts.h"
#include "ui/win/Ids.h"
#include "ui/win/ParamWindow.h"
#include "ui/win/Text.h"

namespace qx25::win {
namespace {

using ui::kConfirmCaption, ui::kConfirmText;

HWND UpDownOf(HWND Edit) { return static_cast<HWND>(GetPropW(Edit, L"qx25.UpDown")); }

std::string NumberText(double Value, int Decimals) {
  char text[64];
  const auto end =
      std::to_chars(text, text + sizeof text, Value, std::chars_format::fixed, Decimals);
  std::string out(text, end.ptr);
  const std::string& separator = NumberFormat().DecimalSeparator;
  if (const size_t dot = out.find('.'); dot != std::string::npos) out.replace(dot, 1, separator);
  return out;
}

// What the technician typed, with either separator; nothing when it is no number.
std::optional<double> TypedNumber(const std::wstring& Typed) {
  std::string text = Utf8(Typed);
  const std::string& separator = NumberFormat().DecimalSeparator;
  if (!separator.empty() && separator != ".")
    for (size_t at = text.find(separator); at != std::string::npos; at = text.find(separator))
      text.replace(at, separator.size(), ".");
  std::replace(text.begin(), text.end(), ',', '.');
  text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
    return std::nullopt;
  return value;
}

void ShowEditor(HWND Editor, bool Shown) {
  ShowWindow(Editor, Shown ? SW_SHOW : SW_HIDE);
  if (HWND updown = UpDownOf(Editor)) ShowWindow(updown, Shown ? SW_SHOW : SW_HIDE);
}

bool Shown(HWND Editor) { return IsWindowVisible(Editor) != FALSE; }

}  // namespace

void TParamFrm::RxDGCommonDblClick(int Col, int Row) {
  if (Row < 1 || Col != ui::ColRead) return;
  CParameter* p = RecordOfRow(Row);
  if (!p) return;
  p->ReadText = ReadOne(Row);
  Grid->Repaint();
}

std::string TParamFrm::ReadOne(int Row) {
  CParameter* p = RecordOfRow(Row);
  if (!p) return {};
  std::string text = ui::ReadOne(Target(), *p);
  RunInputs->Publish(Target(), Catalog());
  return text;
}

// A tab change also takes the editor away: its row is no longer shown.
void TParamFrm::TabControl1Change() {
  const bool addressTab = TabIndex() == ui::kAddressTab;
  ShowWindow(IDLabel, addressTab ? SW_SHOW : SW_HIDE);
  ShowEditor(edIDNumber, addressTab);
  ApplyTabFilter(TabIndex());
  PlaceEditor(0, 0);
  ApplyGridEnterRule();
}

void TParamFrm::Timer2Timer() {
  KillTimer(Window, kTimer2);
  PlaceEditor(Grid->Row(), Grid->Col());
}

void TParamFrm::PlaceEditor(int Row, int Col) {
  if (Row < 1 || Col != ui::ColWrite || Grid->RowHeight(Row) <= 0 || !RecordOfRow(Row)) {
    for (HWND editor : {WriteValueEdit, WriteValueEdit2, WriteValueCB}) ShowEditor(editor, false);
    return;
  }
  PrepareEditor(Row);
  const RECT cell = Grid->CellRect(Col, Row);
  const bool pair = Shown(WriteValueEdit) && Shown(WriteValueEdit2);
  const ui::TEditorPlace at =
      ui::EditorPlace({cell.left, cell.top, cell.right, cell.bottom}, EditorHeight(), pair);
  auto place = [](HWND Editor, const ui::TRect& R, int Height) {
    SetWindowPos(Editor, HWND_TOP, R.Left, R.Top, R.Right - R.Left, Height, SWP_NOACTIVATE);
    // The up-down fits itself into the edit's right edge again.
    if (HWND updown = UpDownOf(Editor)) {
      SendMessageW(updown, UDM_SETBUDDY, reinterpret_cast<WPARAM>(Editor), 0);
      SetWindowPos(updown, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
  };
  HWND focus = Shown(WriteValueCB) ? WriteValueCB : WriteValueEdit;
  if (!Shown(focus)) return;
  const int height = at.First.Bottom - at.First.Top;
  // The list's window also holds its drop-down.
  place(focus, at.First, focus == WriteValueCB ? height * 10 : height);
  if (pair) place(WriteValueEdit2, at.Second, height);
  SetFocus(focus);
  if (focus != WriteValueCB) SendMessageW(focus, EM_SETSEL, 0, -1);
}

int TParamFrm::EditorHeight() const {
  HDC canvas = GetDC(Window);
  HGDIOBJ old = SelectObject(canvas, FormFont());
  TEXTMETRICW metrics{};
  GetTextMetricsW(canvas, &metrics);
  SelectObject(canvas, old);
  ReleaseDC(Window, canvas);
  return std::max<int>(metrics.tmHeight + 8, ui::kEditorHeight);
}

void TParamFrm::PrepareEditor(int Row) {
  using ui::TEditorChoice;
  const CParameter* p = RecordOfRow(Row);
  const TEditorChoice choice = p ? ui::EditorFor(*p) : TEditorChoice();
  const bool number = choice.Kind == TEditorChoice::Number || choice.Kind == TEditorChoice::Pair;
  Number = {choice.Min, choice.Max, choice.Step, choice.Decimals};
  SetWindowTextW(WriteValueEdit,
                 Wide(NumberText(number ? choice.Start : 0, Number.Decimals)).c_str());
  if (choice.Kind == TEditorChoice::Pair) {
    Number2 = {choice.Min2, choice.Max2, 1, 0};
    SetWindowTextW(WriteValueEdit2, Wide(NumberText(choice.Start2, 0)).c_str());
  }
  if (choice.Kind == TEditorChoice::List) {
    SendMessageW(WriteValueCB, CB_RESETCONTENT, 0, 0);
    for (const std::string& item : choice.Items)
      SendMessageW(WriteValueCB, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item).c_str()));
    EnableWindow(WriteValueCB, choice.Enabled);
    SendMessageW(WriteValueCB, CB_SETCURSEL, static_cast<WPARAM>(choice.Selected), 0);
  }
  ShowEditor(WriteValueEdit, number);
  ShowEditor(WriteValueEdit2, choice.Kind == TEditorChoice::Pair);
  ShowEditor(WriteValueCB, choice.Kind == TEditorChoice::List);
}

void TParamFrm::StepNumber(HWND Edit, int Delta) {
  const TNumberBox& box = Edit == WriteValueEdit ? Number : Number2;
  double value = TypedNumber(WindowText(Edit)).value_or(box.Min) + Delta * box.Step;
  if (box.Min < box.Max) value = std::clamp(value, box.Min, box.Max);
  SetWindowTextW(Edit, Wide(NumberText(value, box.Decimals)).c_str());
}

ui::TEdit TParamFrm::EditorContents() const {
  // A value outside the editor's range is brought into it, as a spin box does;
  // text that is no number is the range's lower end.
  auto value = [](HWND Edit, const TNumberBox& Box) {
    double v = TypedNumber(WindowText(Edit)).value_or(Box.Min);
    if (Box.Min < Box.Max) v = std::clamp(v, Box.Min, Box.Max);
    const double scale = std::pow(10.0, Box.Decimals);
    return std::round(v * scale) / scale;
  };
  return {value(WriteValueEdit, Number), value(WriteValueEdit2, Number2),
          static_cast<int>(SendMessageW(WriteValueCB, CB_GETCURSEL, 0, 0))};
}

bool TParamFrm::EditorHasFocus() const {
  const HWND focus = GetFocus();
  return focus && (focus == WriteValueEdit || focus == WriteValueEdit2);
}

void TParamFrm::WriteValueEditExit() {
  // A message box or the list's drop-down taking the focus leaves the editor
  // where it is; only a move to another control of the window closes it.
  const HWND focus = GetFocus();
  if (!focus || (focus != Window && !IsChild(Window, focus))) return;
  if (Shown(WriteValueCB)) {
    if (focus != WriteValueCB) ShowEditor(WriteValueCB, false);
  } else if (Shown(WriteValueEdit) && Shown(WriteValueEdit2)) {
    if (!EditorHasFocus()) {  // the pair hands the focus between its halves
      ShowEditor(WriteValueEdit, false);
      ShowEditor(WriteValueEdit2, false);
    }
  } else if (Shown(WriteValueEdit) && !EditorHasFocus()) {
    ShowEditor(WriteValueEdit, false);
  }
}

void TParamFrm::WriteValueEditKeyDown() {
  const HWND self = Window, editor = GetFocus();
  std::string text = kConfirmText;
  if (const CParameter* p = RecordOfRow(Grid->Row())) {
    const std::string detail = ui::ConfirmationDetail(*p, EditorContents(), SpinValue(edIDNumber));
    if (!detail.empty()) text += "\n\n" + detail;
  }
  const int answer = MessageBoxW(Window, Wide(text).c_str(), Wide(kConfirmCaption).c_str(),
                                 MB_OKCANCEL | MB_ICONQUESTION);
  // The window may have been destroyed meanwhile, with its owner.
  if (!IsWindow(self)) return;
  if (answer == IDOK) WriteOne(Grid->Row());
  Grid->Repaint();
  if (IsWindowVisible(editor)) SetFocus(editor);
}

void TParamFrm::WriteOne(int Row) {
  ShowStatus(ui::WriteOne(Target(), RecordOfRow(Row), EditorContents(), SpinValue(edIDNumber)));
  RunInputs->Publish(Target(), Catalog());
}

}  // namespace qx25::win
