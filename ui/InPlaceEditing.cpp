// Single reads and writes from the grid: a double click on a "Чтение" cell
// reads that parameter; an editor fitted to the parameter's kind opens over
// a "Запись" cell, and Enter (after a confirmation) writes its value.
#include <QKeyEvent>
#include <QMessageBox>
#include <QTimer>
#include <algorithm>

#include "params/Encodings.h"
#include "params/TypedNumber.h"
#include "ui/ParamFrame.h"
#include "ui/ParamModel.h"
#include "ui/core/Texts.h"
#include "ui/ui_ParamFrame.h"

namespace {

using qx25::ui::kConfirmCaption, qx25::ui::kConfirmText;

// The box's range holds the limits and the start, so that neither a step nor
// the start is clamped; what the box holds is judged by the reader on Enter.
void SetUp(TTypedSpinBox& Box, int Decimals, double Step, double Min, double Max, double Start,
           TTypedSpinBox::TReader Reader) {
  Box.setDecimals(Decimals);  // first: the range and the value are rounded to it
  Box.setSingleStep(Step);
  Box.SetReader(std::move(Reader));
  Box.setRange(std::min(Min, Start), std::max(Max, Start));
  Box.setValue(Start);
}

// What the number box of P's editor shows for a text; none when the reader refuses it.
TTypedSpinBox::TReader ReaderOf(const CParameter& P) {
  return [P](const std::string& Text) { return qx25::ui::ShownValue(P, Text); };
}

TTypedSpinBox::TReader IntegerReader(int64_t Min, int64_t Max) {
  return [Min, Max](const std::string& Text) -> std::optional<double> {
    const qx25::params::TTypedValue typed =
        qx25::params::ReadTypedInteger(Text, Min, Max, NumberFormat());
    return typed ? std::optional<double>(static_cast<double>(*typed.Raw)) : std::nullopt;
  };
}

// The texts as typed: the reader, not the boxes, says what they are.
qx25::ui::TEdit EditorContents(const Ui::ParamFrm& Form) {
  qx25::ui::TEdit edit;
  edit.Value = Form.WriteValueEdit->value();
  edit.Value2 = Form.WriteValueEdit2->value();
  edit.Item = Form.WriteValueCB->currentIndex();
  edit.Typed = true;
  edit.Text = Form.WriteValueEdit->text().toStdString();
  edit.Text2 = Form.WriteValueEdit2->text().toStdString();
  return edit;
}

}  // namespace

void TParamFrm::RxDGCommonDblClick(int Col, int Row) {
  CParameter* p = RecordOfRow(Row);
  if (Col != TParamModel::ColRead || !p) return;
  p->ReadText = ReadOne(Row).toStdString();
  RepaintGrid();
}

QString TParamFrm::ReadOne(int Row) {
  CParameter* p = RecordOfRow(Row);
  if (!p) return {};
  const std::optional<qx25::ui::TTarget> target = RequestTarget();
  if (!target) return QString::fromStdString(p->ReadText);  // nothing read: the cell stays
  const QString text = QString::fromStdString(qx25::ui::ReadOne(*target, *p));
  RunInputs->Publish(Catalog());
  return text;
}

// A tab change also takes the editor away: its row is no longer shown.
void TParamFrm::TabControl1Change() {
  Ui::ParamFrm& c = *Controls;
  const bool addressTab = c.TabControl1->TabIndex() == qx25::ui::kAddressTab;
  c.IDLabel->setVisible(addressTab);
  c.edIDNumber->setVisible(addressTab);
  ApplyTabFilter(c.TabControl1->TabIndex());
  PlaceEditor(0, 0);
  RxDGCommonEnter();
}

void TParamFrm::RxDGCommonSelectCell(int, int) { EditorDelay->start(); }

void TParamFrm::Timer2Timer() {
  EditorDelay->stop();
  PlaceEditor(Controls->RxDGCommon->Row(), Controls->RxDGCommon->Col());
}

void TParamFrm::PlaceEditor(int Row, int Col) {
  Ui::ParamFrm& c = *Controls;
  if (Row < 1 || Col != TParamModel::ColWrite || c.RxDGCommon->RowHeight(Row) <= 0 ||
      !RecordOfRow(Row)) {
    CloseEditor();
    return;
  }
  PrepareEditor(Row);
  EditorRow = Row;
  if (FitEditor() && EditorShown()) EditorFirst()->setFocus();
}

QWidget* TParamFrm::EditorFirst() const {
  const Ui::ParamFrm& c = *Controls;
  return c.WriteValueCB->isHidden() ? static_cast<QWidget*>(c.WriteValueEdit) : c.WriteValueCB;
}

bool TParamFrm::EditorShown() const {
  const auto editors = Editors();
  return std::any_of(editors.begin(), editors.end(), [](QWidget* E) { return !E->isHidden(); });
}

void TParamFrm::CloseEditor() {
  for (QWidget* editor : Editors()) editor->hide();
  EditorRow = 0;
}

bool TParamFrm::FitEditor() {
  Ui::ParamFrm& c = *Controls;
  TRXDrawGrid* grid = c.RxDGCommon;
  QWidget* first = EditorFirst();
  const QRect cell = grid->CellRect(TParamModel::ColWrite, EditorRow, c.TabControl1);
  if (!cell.isValid() || first->isHidden()) return false;  // no editor
  const bool pair = !c.WriteValueEdit2->isHidden();
  const qx25::ui::TEditorPlace at = qx25::ui::EditorPlace(CoreRect(cell), EditorHeight(), pair);
  first->setGeometry(ViewRect(at.First));
  first->raise();
  if (pair) {
    c.WriteValueEdit2->setGeometry(ViewRect(at.Second));
    c.WriteValueEdit2->raise();
  }
  return true;
}

// The editor belongs to its row: a scroll carries it along, and one that
// takes the row out of sight closes it unsent.
void TParamFrm::FollowEditorRow() {
  if (!EditorShown()) return;
  Ui::ParamFrm& c = *Controls;
  TRXDrawGrid* grid = c.RxDGCommon;
  const QRect cell = grid->CellRect(TParamModel::ColWrite, EditorRow, c.TabControl1);
  const QRect view(grid->viewport()->mapTo(c.TabControl1, QPoint(0, 0)), grid->viewport()->size());
  if (!cell.isValid() || !view.contains(cell)) {
    const auto editors = Editors();
    const bool focused =
        std::any_of(editors.begin(), editors.end(), [](QWidget* E) { return E->hasFocus(); });
    CloseEditor();
    if (focused) grid->setFocus();
    return;
  }
  FitEditor();
}

// A click, Enter or F2 on the current "Запись" cell opens its editor again
// after Esc: the selection has not changed, so nothing else would.
void TParamFrm::ReopenEditor(int Col, int Row) {
  TRXDrawGrid* grid = Controls->RxDGCommon;
  if (Col != grid->Col() || Row != grid->Row() || EditorShown()) return;
  PlaceEditor(Row, Col);
}

void TParamFrm::PrepareEditor(int Row) {
  using qx25::ui::TEditorChoice;
  Ui::ParamFrm& c = *Controls;
  const CParameter* p = RecordOfRow(Row);
  const TEditorChoice choice = p ? qx25::ui::EditorFor(*p) : TEditorChoice();
  const bool pair = choice.Kind == TEditorChoice::Pair;
  const bool number = choice.Kind == TEditorChoice::Number || pair;
  c.WriteValueEdit->setValue(0);
  if (number)
    SetUp(*c.WriteValueEdit, choice.Decimals, choice.Step, choice.Min, choice.Max, choice.Start,
          pair ? IntegerReader(0, qx25::params::kPairHighMax) : ReaderOf(*p));
  if (pair)
    SetUp(*c.WriteValueEdit2, 0, 1, choice.Min2, choice.Max2, choice.Start2,
          IntegerReader(0, qx25::params::kPairLowMax));
  if (choice.Kind == TEditorChoice::List) {
    c.WriteValueCB->clear();
    for (const std::string& item : choice.Items)
      c.WriteValueCB->addItem(QString::fromStdString(item));
    c.WriteValueCB->setEnabled(choice.Enabled);
    c.WriteValueCB->setCurrentIndex(choice.Selected);
  }
  c.WriteValueEdit->setVisible(number);
  c.WriteValueEdit2->setVisible(pair);
  c.WriteValueCB->setVisible(choice.Kind == TEditorChoice::List);
}

void TParamFrm::WriteValueEditExit() {
  Ui::ParamFrm& c = *Controls;
  if (!c.WriteValueCB->isHidden()) return CloseEditor();
  if (!c.WriteValueEdit->isHidden() && !c.WriteValueEdit2->isHidden()) {
    // The pair hands the focus between its halves.
    if (c.WriteValueEdit->hasFocus() || c.WriteValueEdit2->hasFocus()) return;
  }
  CloseEditor();
}

void TParamFrm::WriteValueEditKeyDown() {
  const int row = Controls->RxDGCommon->Row();
  CParameter* p = RecordOfRow(row);
  // Never confirmed over another row than the one the editor was opened on.
  if (!p || row != EditorRow) return CloseEditor();
  const qx25::ui::TEdit edit = EditorContents(*Controls);
  const qx25::params::TTypedValue id =
      qx25::ui::IdNumberFor(*p, Controls->edIDNumber->text().toStdString());
  // The editor keeps the text; the bar says why nothing is asked or sent.
  for (const std::string& refusal :
       {qx25::ui::ReadEdit(*p, edit).Refusal, ReadTarget().Refusal, id.Refusal})
    if (!refusal.empty()) return ShowStatus({refusal, TStatusColour::Failure, {}});
  QMessageBox confirm(QMessageBox::Question, QString::fromUtf8(kConfirmCaption),
                      QString::fromUtf8(kConfirmText), QMessageBox::Ok | QMessageBox::Cancel, this);
  confirm.setObjectName("ConfirmWrite");
  confirm.setInformativeText(
      QString::fromStdString(qx25::ui::ConfirmationDetail(*p, edit, static_cast<int>(*id.Raw))));
  if (confirm.exec() == QMessageBox::Ok) WriteOne(row);
  RepaintGrid();
}

bool TParamFrm::eventFilter(QObject* Watched, QEvent* Event) {
  const auto editors = Editors();
  if (std::find(editors.begin(), editors.end(), Watched) == editors.end())
    return QDialog::eventFilter(Watched, Event);
  const bool press = Event->type() == QEvent::KeyPress;
  const int key = press || Event->type() == QEvent::ShortcutOverride
                      ? static_cast<QKeyEvent*>(Event)->key()
                      : 0;
  // Esc belongs to an open editor first (it closes it, the edit unsent);
  // only then to the window's Esc, which closes the window.
  if (key == Qt::Key_Escape) {
    Event->accept();
    if (press) {
      CloseEditor();
      Controls->RxDGCommon->setFocus();
    }
    return true;
  }
  if (press && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
    // The typed text is read as it stands: the spin box's own reading would
    // put back its last value for a text the reader refuses.
    WriteValueEditKeyDown();
    return true;
  }
  // A message box or the list's own drop-down taking the focus leaves the
  // editor where it is; only a move to another control of the window closes
  // it. Queued: the focus has reached its new widget by then.
  if (Event->type() == QEvent::FocusOut) {
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(Event)->reason();
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
      QMetaObject::invokeMethod(this, &TParamFrm::WriteValueEditExit, Qt::QueuedConnection);
  }
  return QDialog::eventFilter(Watched, Event);
}

void TParamFrm::WriteOne(int Row) {
  CParameter* p = RecordOfRow(Row);
  const qx25::params::TTypedValue id =
      p ? qx25::ui::IdNumberFor(*p, Controls->edIDNumber->text().toStdString())
        : qx25::params::TTypedValue{0, {}};
  if (!id) return ShowStatus({id.Refusal, TStatusColour::Failure, {}});
  const std::optional<qx25::ui::TTarget> target = RequestTarget();
  if (!target) return;
  // The bar keeps its own words; the driver's reason is there for the asking.
  ShowStatus(qx25::ui::WriteOne(*target, p, EditorContents(*Controls), static_cast<int>(*id.Raw)));
  RunInputs->Publish(Catalog());
}
