// Single reads and writes from the grid: a double click on a "Чтение" cell
// reads that parameter; an editor fitted to the parameter's kind opens over
// a "Запись" cell, and Enter (after a confirmation) writes its value.
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QKeyEvent>
#include <QMessageBox>
#include <QTimer>

#include "ui/ParamFrame.h"
#include "ui/ParamModel.h"
#include "ui/ui_ParamFrame.h"

namespace {

constexpr char kConfirmCaption[] = "Подтверждение записи";
constexpr char kConfirmText[] = "Вы действительно хотите записать параметр";

}  // namespace

void TParamFrm::RxDGCommonDblClick(int Col, int Row) {
  if (Row < 1 || Col != TParamModel::ColRead) return;
  CParameter* p = RecordOfRow(Row);
  if (!p) return;
  const QString text = ReadOne(Row);
  p->ReadText = text.toStdString();
  RepaintGrid();
}

QString TParamFrm::ReadOne(int Row) {
  CParameter* p = RecordOfRow(Row);
  if (!p) return {};
  const QString text = QString::fromStdString(qx25::ui::ReadOne(Line(), *p));
  PublishRunInputs();
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
  ApplyGridEnterRule();
}

void TParamFrm::RxDGCommonSelectCell(int, int) { findChild<QTimer*>("Timer2")->start(); }

void TParamFrm::Timer2Timer() {
  findChild<QTimer*>("Timer2")->stop();
  PlaceEditor(Controls->RxDGCommon->Row(), Controls->RxDGCommon->Col());
}

void TParamFrm::PlaceEditor(int Row, int Col) {
  Ui::ParamFrm& c = *Controls;
  if (Row < 1 || Col != TParamModel::ColWrite || c.RxDGCommon->RowHeight(Row) <= 0 ||
      !RecordOfRow(Row)) {
    c.WriteValueEdit->hide();
    c.WriteValueEdit2->hide();
    c.WriteValueCB->hide();
    return;
  }
  for (QWidget* editor :
       {static_cast<QWidget*>(c.WriteValueEdit), static_cast<QWidget*>(c.WriteValueEdit2),
        static_cast<QWidget*>(c.WriteValueCB)})
    if (editor->parentWidget() != c.TabControl1) editor->setParent(c.TabControl1);
  PrepareEditor(Row);

  const QRect cell = c.RxDGCommon->CellRect(Col, Row, c.TabControl1);
  if (!cell.isValid()) return;  // scrolled out of sight
  const bool pair = !c.WriteValueEdit->isHidden() && !c.WriteValueEdit2->isHidden();
  const qx25::ui::TEditorPlace at = qx25::ui::EditorPlace(
      {cell.left(), cell.top(), cell.left() + cell.width(), cell.top() + cell.height()},
      EditorHeight(), pair);
  auto place = [](QWidget* Editor, const qx25::ui::TRect& R) {
    Editor->setGeometry(R.Left, R.Top, R.Right - R.Left, R.Bottom - R.Top);
    Editor->raise();
  };
  QWidget* focus =
      c.WriteValueCB->isHidden() ? static_cast<QWidget*>(c.WriteValueEdit) : c.WriteValueCB;
  if (focus->isHidden()) return;
  place(focus, at.First);
  if (pair) place(c.WriteValueEdit2, at.Second);
  focus->setFocus();
}

int TParamFrm::EditorHeight() const {
  return std::max(Controls->WriteValueEdit->sizeHint().height(),
                  Controls->WriteValueCB->sizeHint().height());
}

void TParamFrm::PrepareEditor(int Row) {
  using qx25::ui::TEditorChoice;
  Ui::ParamFrm& c = *Controls;
  const CParameter* p = RecordOfRow(Row);
  const TEditorChoice choice = p ? qx25::ui::EditorFor(*p) : TEditorChoice();
  QDoubleSpinBox* edit = c.WriteValueEdit;
  QDoubleSpinBox* edit2 = c.WriteValueEdit2;
  QComboBox* list = c.WriteValueCB;
  edit->setValue(0);
  if (choice.Kind == TEditorChoice::Number || choice.Kind == TEditorChoice::Pair) {
    edit->setDecimals(choice.Decimals);
    edit->setSingleStep(choice.Step);
    edit->setRange(choice.Min, choice.Max);
    edit->setValue(choice.Start);
  }
  if (choice.Kind == TEditorChoice::Pair) {
    edit2->setDecimals(0);
    edit2->setSingleStep(1);
    edit2->setRange(choice.Min2, choice.Max2);
    edit2->setValue(choice.Start2);
  }
  if (choice.Kind == TEditorChoice::List) {
    list->clear();
    for (const std::string& item : choice.Items) list->addItem(QString::fromStdString(item));
    list->setEnabled(choice.Enabled);
    list->setCurrentIndex(choice.Selected);
  }
  edit->setVisible(choice.Kind == TEditorChoice::Number || choice.Kind == TEditorChoice::Pair);
  edit2->setVisible(choice.Kind == TEditorChoice::Pair);
  list->setVisible(choice.Kind == TEditorChoice::List);
}

qx25::ui::TEdit TParamFrm::EditorContents() const {
  const Ui::ParamFrm& c = *Controls;
  return {c.WriteValueEdit->value(), c.WriteValueEdit2->value(), c.WriteValueCB->currentIndex()};
}

bool TParamFrm::EditorHasFocus() const {
  return Controls->WriteValueEdit->hasFocus() || Controls->WriteValueEdit2->hasFocus();
}

void TParamFrm::WriteValueEditExit() {
  Ui::ParamFrm& c = *Controls;
  if (!c.WriteValueCB->isHidden()) {
    c.WriteValueCB->hide();
  } else if (!c.WriteValueEdit->isHidden() && !c.WriteValueEdit2->isHidden()) {
    if (!EditorHasFocus()) {  // the pair hands the focus between its halves
      c.WriteValueEdit->hide();
      c.WriteValueEdit2->hide();
    }
  } else if (!c.WriteValueEdit->isHidden()) {
    c.WriteValueEdit->hide();
  }
}

void TParamFrm::WriteValueEditKeyDown() {
  QMessageBox confirm(QMessageBox::Question, QString::fromUtf8(kConfirmCaption),
                      QString::fromUtf8(kConfirmText), QMessageBox::Ok | QMessageBox::Cancel, this);
  confirm.setObjectName("ConfirmWrite");
  if (const CParameter* p = RecordOfRow(Controls->RxDGCommon->Row()))
    confirm.setInformativeText(QString::fromStdString(
        qx25::ui::ConfirmationDetail(*p, EditorContents(), Controls->edIDNumber->value())));
  if (confirm.exec() == QMessageBox::Ok) WriteOne(Controls->RxDGCommon->Row());
  RepaintGrid();
}

bool TParamFrm::eventFilter(QObject* Watched, QEvent* Event) {
  const Ui::ParamFrm& c = *Controls;
  const bool editor =
      Watched == c.WriteValueEdit || Watched == c.WriteValueEdit2 || Watched == c.WriteValueCB;
  // Esc belongs to an open editor first (it closes it, the edit unsent);
  // only then to the window's Esc, which closes the window.
  if (editor && Event->type() == QEvent::ShortcutOverride &&
      static_cast<QKeyEvent*>(Event)->key() == Qt::Key_Escape) {
    Event->accept();
    return true;
  }
  if (editor && Event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(Event)->key() == Qt::Key_Escape) {
    PlaceEditor(0, 0);
    Controls->RxDGCommon->setFocus();
    return true;
  }
  if (editor && Event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(Event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      // The spin box takes what was typed before the value is read.
      if (auto* spin = qobject_cast<QDoubleSpinBox*>(Watched)) spin->interpretText();
      WriteValueEditKeyDown();
      return true;
    }
  }
  if (editor && Event->type() == QEvent::FocusOut) {
    // A message box or the list's own drop-down taking the focus leaves the
    // editor where it is; only a move to another control of the window
    // closes it. Queued: the focus has reached its new widget by then.
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(Event)->reason();
    if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
      return QDialog::eventFilter(Watched, Event);
    QMetaObject::invokeMethod(this, &TParamFrm::WriteValueEditExit, Qt::QueuedConnection);
  }
  return QDialog::eventFilter(Watched, Event);
}

void TParamFrm::WriteOne(int Row) {
  // The bar keeps its own words; the driver's reason is there for the asking.
  ShowStatus(qx25::ui::WriteOne(Line(), RecordOfRow(Row), EditorContents(),
                                Controls->edIDNumber->value()));
  PublishRunInputs();
}
