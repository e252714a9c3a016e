// Single reads and writes from the grid: a double click on a "Чтение" cell
// reads that parameter; an editor fitted to the parameter's kind opens over
// a "Запись" cell, and Enter (after a confirmation) writes its value.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>

#include "ui/core/GridText.h"
#include "ui/core/Texts.h"
#include "ui/win/Controls.h"
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
  const std::optional<ui::TTarget> target = RequestTarget();
  if (!target) return p->ReadText;  // nothing read: the cell stays
  std::string text = ui::ReadOne(*target, *p);
  RunInputs->Publish(Catalog());
  if (const std::string why = p->ReadError ? ui::ReadFailureText(*target, *p) : std::string();
      !why.empty())
    ShowStatus({why, ui::TStatusColour::Failure, {}});
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
  Number = {choice.Min, choice.Max, choice.Step, choice.Decimals, choice.Start};
  SetWindowTextW(WriteValueEdit,
                 Wide(NumberText(number ? choice.Start : 0, Number.Decimals)).c_str());
  if (choice.Kind == TEditorChoice::Pair) {
    Number2 = {choice.Min2, choice.Max2, 1, 0, choice.Start2};
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

// A step starts from the number the text reads as, never from a text the
// reader refuses (which stays as typed), and stays within the box's range.
void TParamFrm::StepNumber(HWND Edit, int Delta) {
  const CParameter* p = RecordOfRow(Grid->Row());
  if (!p) return;
  const bool pair = p->Kind == pkPair;
  const TNumberBox& box = Edit == WriteValueEdit ? Number : Number2;
  const std::string text = Utf8(WindowText(Edit));
  std::optional<double> shown;
  if (pair) {
    const params::TTypedValue half = params::ReadTypedInteger(
        text, static_cast<int64_t>(box.Min), static_cast<int64_t>(box.Max), NumberFormat());
    if (half) shown = static_cast<double>(*half.Raw);
  } else {
    shown = ui::ShownValue(*p, text);
  }
  if (!shown) return;
  const double value = *shown + Delta * box.Step;
  const double scale = std::pow(10.0, box.Decimals);
  // Compared in the box's decimals: 0.1 steps add up to no exact 1200.0.
  const double units = std::round(value * scale);
  if (units < std::round(std::min(box.Min, box.Start) * scale) ||
      units > std::round(std::max(box.Max, box.Start) * scale))
    return;
  SetWindowTextW(Edit, Wide(NumberText(units / scale, box.Decimals)).c_str());
}

// The texts as typed: the reader, not the edits, says what they are.
ui::TEdit TParamFrm::EditorContents() const {
  ui::TEdit edit;
  edit.Item = static_cast<int>(SendMessageW(WriteValueCB, CB_GETCURSEL, 0, 0));
  edit.Typed = true;
  edit.Text = Utf8(WindowText(WriteValueEdit));
  edit.Text2 = Utf8(WindowText(WriteValueEdit2));
  return edit;
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
    const ui::TEdit edit = EditorContents();
    const params::TTypedValue id = ui::IdNumberFor(*p, Utf8(WindowText(edIDNumber)));
    // The editor keeps the text; the bar says why nothing is asked or sent.
    for (const std::string& refusal :
         {ui::ReadEdit(*p, edit).Refusal, ReadTarget().Refusal, id.Refusal})
      if (!refusal.empty()) return ShowStatus({refusal, ui::TStatusColour::Failure, {}});
    const std::string detail = ui::ConfirmationDetail(*p, edit, static_cast<int>(*id.Raw));
    if (!detail.empty()) text += "\n\n" + detail;
  }
  const int answer = [&] {
    const TNameNextDialog name(L"ConfirmWrite");
    return MessageBoxW(Window, Wide(text).c_str(), Wide(kConfirmCaption).c_str(),
                       MB_OKCANCEL | MB_ICONQUESTION);
  }();
  // The window may have been destroyed meanwhile, with its owner.
  if (!IsWindow(self)) return;
  const bool written = answer == IDOK && WriteOne(Grid->Row());
  Grid->Repaint();
  if (!IsWindowVisible(editor)) return;
  SetFocus(editor);
  // What the technician types next replaces the value just written, not adds to it.
  if (written && editor != WriteValueCB) SendMessageW(editor, EM_SETSEL, 0, -1);
}

bool TParamFrm::WriteOne(int Row) {
  CParameter* p = RecordOfRow(Row);
  const params::TTypedValue id =
      p ? ui::IdNumberFor(*p, Utf8(WindowText(edIDNumber))) : params::TTypedValue{0, {}};
  if (!id) {
    ShowStatus({id.Refusal, ui::TStatusColour::Failure, {}});
    return false;
  }
  const std::optional<ui::TTarget> target = RequestTarget();
  if (!target) return false;
  const ui::TStatus status = ui::WriteOne(*target, p, EditorContents(), static_cast<int>(*id.Raw));
  ShowStatus(status);
  RunInputs->Publish(Catalog());
  return status.Colour == ui::TStatusColour::Success;
}

}  // namespace qx25::win
