// The parameter programming window: the technician's screen over one nozzle
// controller, a view of what ui/core decides. Rows are counted as the grid
// counts them: row 0 is the header and row r shows catalog record r - 1.
// Its workers reach it only through queued signals; destroying it stops its
// runs after the exchange in flight and waits for them.
#pragma once

#include <QDialog>
#include <array>
#include <memory>
#include <optional>

#include "ui/core/BulkRun.h"
#include "ui/core/GridText.h"

namespace Ui {
class ParamFrm;
}
class QLabel;
class QTimer;
class TParamModel;
class TParamsTread;

class TParamFrm : public QDialog {
  Q_OBJECT

 public:
  explicit TParamFrm(QWidget* Parent = nullptr);
  ~TParamFrm() override;

  TQX25* Driver = nullptr;  // not owned; may be none
  // The catalog this window shows; null before show and after close.
  CTRKParameters* Catalog() const { return Parameters.get(); }
  Ui::ParamFrm& Form() const { return *Controls; }
  TParamModel& Model() const { return *GridModel; }

  Q_INVOKABLE QString DescriptionText(int Row) const;
  Q_INVOKABLE QString LimitsText(int Row) const;
  Q_INVOKABLE int RowHeightFor(int Row) const;
  Q_INVOKABLE void ApplyTabFilter(int Tab);
  Q_INVOKABLE QString ReadOne(int Row);
  Q_INVOKABLE void WriteOne(int Row);
  Q_INVOKABLE void PrepareEditor(int Row);
  Q_INVOKABLE void PlaceEditor(int Row, int Col);
  Q_INVOKABLE void SaveToFile(const QString& FileName);
  Q_INVOKABLE void LoadFromFile(const QString& FileName);
  Q_INVOKABLE void RepaintGrid();
  // For the host's quit: how far this window's write-all has got ("записано
  // 19 из 31"), empty when none runs; and stopping it after the write in
  // flight, which returns how far it got, empty when none ran.
  Q_INVOKABLE QString WriteRunProgress() const;
  Q_INVOKABLE QString StopWriteRun();

  // Destroyed now, or hidden and destroyed when its last worker ends, so
  // that a closed window's runs go on to their end.
  void Dismiss();

  // The status bar: green after a write, red after a failed one, the style's
  // own otherwise. ShowStatus keeps a colour for two seconds and gives the
  // panel the detail as its hint, or a long message itself.
  using TStatusColour = qx25::ui::TStatusColour;
  void ShowStatus(const qx25::ui::TStatus& Status);
  TStatusColour StatusColour() const { return Colour; }

 public slots:
  void FormShow();
  void FormClose();
  void ActionExitExecute();
  void TabControl1Change();
  void RxDGCommonColumnSized();
  void RxDGCommonMouseMove(int Col, int Row, QPoint Global);
  void RxDGCommonEnter();
  void RxDGCommonSelectCell(int Col, int Row);
  void RxDGCommonDblClick(int Col, int Row);
  void WriteValueEditExit();
  void Timer1Timer();
  void Timer2Timer();
  void Button1Click();
  void WriteBtnClick();
  void SaveBtnClick();
  void LoadBtnClick();
  void CopyToolClick();
  void PasteToolClick();
  void AddrBtnClick();

 protected:
  void showEvent(QShowEvent* Event) override;
  void done(int Result) override;
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  void ReleaseCatalog();
  void WriteValueEditKeyDown();
  // The editor over the "Запись" cell of EditorRow (0: none shown).
  QWidget* EditorFirst() const;
  bool EditorShown() const;
  void CloseEditor();
  bool FitEditor();  // false when there is no editor to place
  void FollowEditorRow();
  void ReopenEditor(int Col, int Row);
  void SetStatus(const std::string& Message);
  void SetStatusColour(TStatusColour Colour);
  std::array<QWidget*, 3> Editors() const;
  int EditorHeight() const;  // in the font in use
  CParameter* RecordOfRow(int Row) const { return qx25::ui::RecordOfRow(Catalog(), Row); }
  // Where transfers go, read from the fields' texts as they stand.
  qx25::ui::TTargetRead ReadTarget() const;
  // ReadTarget's line for a request: none, the reason red in the status bar,
  // when a field does not read.
  std::optional<qx25::ui::TTarget> RequestTarget();
  void TargetEdited();
  void StartWorker(qx25::ui::TBulk Kind);
  void WorkerEnded(TParamsTread* Worker);
  void ApplyRow(const qx25::ui::TRowResult& Result);
  // A run of Kind has ended, this window's or another's: its summary, here
  // or in place of the busy text that spoke of it.
  void RunEnded(const qx25::ui::TRunTally& Tally, bool Own);
  std::optional<qx25::ui::TRunTally>& TallyOf(qx25::ui::TBulk Kind) {
    return Kind == qx25::ui::TBulk::Read ? ReadTally : WriteTally;
  }

  std::unique_ptr<Ui::ParamFrm> Controls;
  std::unique_ptr<CTRKParameters> Parameters;
  TParamModel* GridModel;
  QLabel* StatusPanel;
  QTimer* StatusTimer;  // Timer1
  QTimer* EditorDelay;  // Timer2
  TStatusColour Colour = TStatusColour::Normal;
  int EditorRow = 0;
  bool GridReady = false;  // sized to the catalog on show
  bool Closed = false;
  bool Dismissed = false;
  // Shared with this window's runs, which outlive neither it nor its driver.
  std::shared_ptr<qx25::ui::TRunInputs> RunInputs;
  QList<TParamsTread*> Workers;
  // The current or last run of each kind; the grid marks what the write left out.
  std::optional<qx25::ui::TRunTally> ReadTally, WriteTally;
};
