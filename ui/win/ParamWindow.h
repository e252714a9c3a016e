// The parameter programming window on Win32: the technician's screen over
// one nozzle controller, with the same controls, places and behaviour as
// the Qt window. It shows what the core in ui/core decides and passes input
// on. Rows are counted as the grid counts them: row 0 is the header, row r
// shows catalog record r - 1.
//
// The window runs on the host's user-interface thread; the workers reach it
// only by posted messages. Closing it lets its runs go on to their end (the
// window, hidden, goes with the last of them); destroying it, for instance
// with its owner, stops them after the exchange in flight and waits.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "driver/QX25.h"
#include "params/ParameterUnit.h"
#include "ui/core/BulkRun.h"
#include "ui/core/Editing.h"
#include "ui/core/GridText.h"
#include "ui/win/Grid.h"
#include "ui/win/Workers.h"

namespace qx25::win {

// A host that quits asks each window named "ParamFrm" (open, or closed with
// its run going on) with this registered message, "qx25.WriteRun": wParam 0
// asks how far its write-all has got, 1 stops it after the write in flight;
// lParam, if not null, is a wchar_t[kCellTextSize] that receives the text
// ("записано 19 из 31", or "Запись параметров прервана: записано 19 из 31").
// The result is 1 while the window runs a write-all (before the stop), else 0.
UINT WriteRunMessage();

class TParamFrm {
 public:
  // Creates the window (hidden) over Owner, which may be null.
  explicit TParamFrm(HWND Owner);
  TParamFrm(const TParamFrm&) = delete;
  TParamFrm& operator=(const TParamFrm&) = delete;

  HWND Handle() const { return Window; }
  // The driver whose operations the window calls; not owned; may be none.
  TQX25* Driver = nullptr;
  bool GridReady = false;
  CTRKParameters* Catalog() const { return Parameters.get(); }

  // Shows the window modally over its owner and returns when it is closed
  // or destroyed; afterwards the window is gone or goes with its last run.
  void ShowModal();
  // Destroys the window now, or hides it until its last run has ended.
  void Dismiss();

  void ApplyTabFilter(int Tab);
  int RowHeightFor(int Row) const;
  std::string ReadOne(int Row);
  // True when the controller took the value.
  bool WriteOne(int Row);
  void PrepareEditor(int Row);
  void PlaceEditor(int Row, int Col);
  void SaveToFile(const std::string& FileName);
  void LoadFromFile(const std::string& FileName);
  void ShowStatus(const ui::TStatus& Status);
  void SetStatus(const std::string& Message);

 private:
  static LRESULT CALLBACK Proc(HWND Window, UINT Message, WPARAM W, LPARAM L);
  static LRESULT CALLBACK WindowGoing(int Code, WPARAM W, LPARAM L);
  LRESULT Handle(UINT Message, WPARAM W, LPARAM L);
  void MakeControls();
  bool PreTranslate(const MSG& Message);
  // Tab and Shift+Tab: the next (Direction 1) or previous shown control.
  void MoveFocus(int Direction);
  void FitTabs();
  void Command(int Id, int Code, HWND Control);
  void Destroyed();

  void FormShow();
  void FormClose();
  void LoadCatalog();
  void ReleaseCatalog();
  void TabControl1Change();
  void ApplyGridEnterRule();
  void RxDGCommonDblClick(int Col, int Row);
  void Timer1Timer();
  void Timer2Timer();
  void WriteValueEditKeyDown();
  void WriteValueEditExit();
  void StepNumber(HWND Edit, int Delta);
  void StepField(HWND Edit, int Delta);
  void Button1Click();
  void WriteBtnClick();
  void SaveBtnClick();
  void LoadBtnClick();
  void CopyToolClick();
  void PasteToolClick();
  void AddrBtnClick();

  int TabIndex() const;
  void SetStatusColour(ui::TStatusColour Colour);
  CParameter* RecordOfRow(int Row) const { return ui::RecordOfRow(Catalog(), Row); }
  // Where transfers go, read from the fields' texts as they stand.
  ui::TTargetRead ReadTarget() const;
  // ReadTarget's line for a request: none, the reason red in the status bar,
  // when a field does not read.
  std::optional<ui::TTarget> RequestTarget();
  void TargetEdited();
  ui::TEdit EditorContents() const;
  bool EditorHasFocus() const;
  int EditorHeight() const;
  void StartWorker(ui::TBulk Kind);
  void TakeRows();
  void WorkerEnded(TWorker* Worker);
  // A run has ended, this window's or another's: its summary, here or in
  // place of the busy text that spoke of it.
  void RunEnded(const ui::TRunTally& Tally, bool Own);
  // The host's question while it quits (the registered message
  // "qx25.WriteRun"): how far the write-all has got, or, with Stop, the
  // run stopped after the write in flight and how far it got; false when
  // this window runs none.
  bool WriteRun(bool Stop, std::string& Progress);
  std::optional<ui::TRunTally>& TallyOf(ui::TBulk Kind) {
    return Kind == ui::TBulk::Read ? ReadTally : WriteTally;
  }

  HWND Window = nullptr;
  HWND Owner = nullptr;
  HWND ComPortEdit = nullptr, AddrEdit = nullptr, AddrBtn = nullptr;
  HWND IDLabel = nullptr, edIDNumber = nullptr;
  HWND Button1 = nullptr, SaveBtn = nullptr, LoadBtn = nullptr, WriteBtn = nullptr;
  HWND BitBtn1 = nullptr;
  HWND TabControl1 = nullptr, StatusBar1 = nullptr, ToolBar1 = nullptr;
  HWND CopyTool = nullptr, PasteTool = nullptr;
  HWND WriteValueEdit = nullptr, WriteValueEdit2 = nullptr, WriteValueCB = nullptr;
  std::unique_ptr<TGrid> Grid;
  HACCEL Keys = nullptr;
  // The number editors' ranges, steps and decimals, as the core chose them;
  // a step stays within the range and the start value.
  struct TNumberBox {
    double Min = 0, Max = 0, Step = 1;
    int Decimals = 0;
    double Start = 0;
  } Number, Number2;

  std::unique_ptr<CTRKParameters> Parameters;
  bool Closed = false;
  bool Dismissed = false;
  bool* ModalDone = nullptr;  // the running modal loop's flag, if any
  ui::TStatusColour Colour = ui::TStatusColour::Normal;
  std::shared_ptr<ui::TRunInputs> RunInputs;
  std::shared_ptr<TRowQueue> Rows;
  std::vector<std::unique_ptr<TWorker>> Workers;
  // The current or last run of each kind; the grid marks what the write left out.
  std::optional<ui::TRunTally> ReadTally, WriteTally;
};

}  // namespace qx25::win
