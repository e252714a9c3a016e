// Single reads and writes from the grid: a double click on a "Чтение" cell
// reads that parameter; an editor fitted to the parameter's kind opens over
// a "Запись" cell, and Enter (after a confirmation) writes its value.
#include <QKeyEvent>
#include <QMessageBox>
#include <QTimer>
#include <algorithm>

#include "ui/ParamFrame.h"
#include "ui/ParamModel.h"
#include "ui/core/Texts.h"
#include "ui/ui_ParamFrame.h"

namespace {

using qx25::ui::kConfirmCaption, qx25::ui::kConfirmText;

void SetUp(QDoubleSpinBox& Box, int Decimals, double Step, double Min, double Max, double Start) {
  Box.setDecimals(Decimals);  // first: the range and the value are rounded to it
  Box.setSingleStep(Step);
  Box.setRange(Min, Max);
  Box.setValue(Start);
}

qx25::ui::TEdit EditorContents(const Ui::ParamFrm& Form) {
  return {Form.WriteValueEdit->value(), Form.WriteValueEdit2->value(),
          Form.WriteValueCB->currentIndex()};
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
  const QString text = QString::fromStdString(qx25::ui::ReadOne(Target(), *p));
  RunInputs->Publish(Target(), Catalog());
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
    for (QWidget* editor : Editors()) editor->hide();
    return;
  }
  PrepareEditor(Row);
  QWidget* first =
      c.WriteValueCB->isHidden() ? static_cast<QWidget*>(c.WriteValueEdit) : c.WriteValueCB;
  const QRect cell = c.RxDGCommon->CellRect(Col, Row, c.TabControl1);
  if (!cell.isValid() || first->isHidden()) return;  // scrolled out of sight, or no editor
  const bool pair = !c.WriteValueEdit2->isHidden();
  const qx25::ui::TEditorPlace at = qx25::ui::EditorPlace(CoreRect(cell), EditorHeight(), pair);
  first->setGeometry(ViewRect(at.First));
  first->raise();
  if (pair) {
    c.WriteValueEdit2->setGeometry(ViewRect(at.Second));
    c.WriteValueEdit2->raise();
  }
  first->setFocus();
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
    SetUp(*c.WriteValueEdit, choice.Decimals, choice.Step, choice.Min, choice.Max, choice.Start);
  if (pair) SetUp(*c.WriteValueEdit2, 0, 1, choice.Min2, choice.Max2, choice.Start2);
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
  if (!c.WriteValueCB->isHidden()) return c.WriteValueCB->hide();
  if (!c.WriteValueEdit->isHidden() && !c.WriteValueEdit2->isHidden()) {
    // The pair hands the focus between its halves.
    if (c.WriteValueEdit->hasFocus() || c.WriteValueEdit2->hasFocus()) return;
    c.WriteValueEdit2->hide();
  }
  c.WriteValueEdit->hide();
}

void TParamFrm::WriteValueEditKeyDown() {
  QMessageBox confirm(QMessageBox::Question, QString::fromUtf8(kConfirmCaption),
                      QString::fromUtf8(kConfirmText), QMessageBox::Ok | QMessageBox::Cancel, this);
  confirm.setObjectName("ConfirmWrite");
  if (const CParameter* p = RecordOfRow(Controls->RxDGCommon->Row()))
    confirm.setInformativeText(QString::fromStdString(qx25::ui::ConfirmationDetail(
        *p, EditorContents(*Controls), Controls->edIDNumber->value())));
  if (confirm.exec() == QMessageBox::Ok) WriteOne(Controls->RxDGCommon->Row());
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
      PlaceEditor(0, 0);
      Controls->RxDGCommon->setFocus();
    }
    return true;
  }
  if (press && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
    // The spin box takes what was typed before the value is read.
    if (auto* spin = qobject_cast<QDoubleSpinBox*>(Watched)) spin->interpretText();
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
  // The bar keeps its own words; the driver's reason is there for the asking.
  ShowStatus(qx25::ui::WriteOne(Target(), RecordOfRow(Row), EditorContents(*Controls),
                                Controls->edIDNumber->value()));
  RunInputs->Publish(Target(), Catalog());
}
