// Single reads and writes from the grid: a double click on a "Чтение" cell
// reads that parameter; an editor fitted to the parameter's kind opens over
// a "Запись" cell, and Enter (after a confirmation) writes its value.
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QKeyEvent>
#include <QMessageBox>
#include <QTimer>
#include <cmath>
#include <exception>
#include <limits>
#include <optional>
#include <stdexcept>

#include "ui/ParamFrame.h"
#include "ui/ParamModel.h"
#include "ui/ui_ParamFrame.h"

namespace {

constexpr char kWritten[] = "Операция записи проведена.";
constexpr char kWriteFailed[] = "Ошибка при проведении операции записи.";
constexpr char kNoDriver[] = "Невозможно провести операцию записи.";
constexpr char kConfirmCaption[] = "Подтверждение записи";
constexpr char kConfirmText[] = "Вы действительно хотите записать параметр";

// The editors' fixed ranges for the kinds without limits of their own.
constexpr double kPairHighMax = 999999999;
constexpr double kPairLowMax = 999;
constexpr int64_t kPairBase = 1000;
constexpr double kTemperatureMin = -99;
constexpr double kTemperatureMax = 200;
constexpr double kNegativeTemperatureMin = -20;
constexpr int64_t kTemperatureBias = 200;  // raw 200 + t stands for -t
// What the temperature list's two items write: sensor on, sensor off.
constexpr int64_t kTemperatureListRaw[] = {1, 200};

constexpr int kBoxHalfHeight = 8;
constexpr int kEditorHeight = 18;
constexpr int kEditorIndent = 5;
constexpr int kPairGap = 5;

// A raw temperature as the number the technician sees: above 200 it is
// negative (the text of the value shows the same).
double TemperatureOfRaw(int64_t Raw) {
  return static_cast<double>(Raw > kTemperatureBias ? kTemperatureBias - Raw : Raw);
}

// The temperature a typed number writes: negatives are carried as 200 - t.
int64_t RawOfTemperature(double Typed) {
  const auto t = static_cast<int64_t>(std::llround(Typed));
  return t >= 0 ? t : kTemperatureBias - t;
}

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
  const std::optional<TLinkMode> mode = LinkModeOf(p->Kind);
  if (!Driver || !mode) {
    p->ReadError = true;
    return {};
  }
  QString text;
  int64_t value = -1;
  try {
    value = Driver->ReadParam(*mode, Controls->ComPortEdit->value(), Controls->AddrEdit->value(),
                              p->Code, p->Digits);
    text = QString::fromStdString(p->ValueToText(value));
  } catch (const std::exception&) {
    text.clear();  // a failed read shows as "Ошибка чтения!", not as a message
  }
  if (!text.isEmpty()) {
    p->Value = value;
    p->ReadError = false;
  } else {
    p->ReadError = true;
  }
  return text;
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
  for (QWidget* editor : {static_cast<QWidget*>(c.WriteValueEdit),
                          static_cast<QWidget*>(c.WriteValueEdit2),
                          static_cast<QWidget*>(c.WriteValueCB)})
    if (editor->parentWidget() != c.TabControl1) editor->setParent(c.TabControl1);
  PrepareEditor(Row);

  const QRect cell = c.RxDGCommon->CellRect(Col, Row, c.TabControl1);
  if (!cell.isValid()) return;  // scrolled out of sight
  // Exclusive right and bottom edges, as the box arithmetic counts them.
  const int top = (cell.top() + cell.top() + cell.height()) / 2 - kBoxHalfHeight;
  const int bottom = top + kEditorHeight;
  const int left = cell.left() + kEditorIndent;
  const int right = cell.left() + cell.width() - kEditorIndent;
  auto place = [&](QWidget* Editor, int Left, int Right) {
    Editor->setGeometry(Left, top, Right - Left, bottom - top);
    Editor->raise();
  };
  if (!c.WriteValueCB->isHidden()) {
    place(c.WriteValueCB, left, right);
    c.WriteValueCB->setFocus();
  } else if (!c.WriteValueEdit->isHidden() && !c.WriteValueEdit2->isHidden()) {
    const int middle = (left + right) / 2 - kPairGap;
    place(c.WriteValueEdit, left, middle);
    place(c.WriteValueEdit2, middle + kPairGap, 2 * middle - left);
    c.WriteValueEdit->setFocus();
  } else if (!c.WriteValueEdit->isHidden()) {
    place(c.WriteValueEdit, left, right);
    c.WriteValueEdit->setFocus();
  }
}

void TParamFrm::PrepareEditor(int Row) {
  Ui::ParamFrm& c = *Controls;
  const CParameter* p = RecordOfRow(Row);
  QDoubleSpinBox* edit = c.WriteValueEdit;
  QDoubleSpinBox* edit2 = c.WriteValueEdit2;
  QComboBox* list = c.WriteValueCB;
  edit->setValue(0);
  auto integer = [](QDoubleSpinBox* Edit, double Min, double Max) {
    Edit->setDecimals(0);
    Edit->setSingleStep(1);
    Edit->setRange(Min, Max);
  };
  auto fillList = [&](int Selected) {
    list->clear();
    for (const std::string& name : p->ValueNames) list->addItem(QString::fromStdString(name));
    list->setEnabled(list->count() > 0);
    list->setCurrentIndex(Selected < list->count() ? Selected : -1);
  };
  bool showEdit = false, showEdit2 = false, showList = false;
  switch (p ? p->Kind : std::numeric_limits<uint8_t>::max()) {
    case pkNumber:
    case pkCommonNumber:
    case pkAddress:
      edit->setDecimals(p->Decimals);
      edit->setSingleStep(p->Step());
      edit->setRange(p->ScaledMin(), p->ScaledMax());
      edit->setValue(static_cast<double>(p->Value) / CParameter::Power10(p->Decimals));
      showEdit = true;
      break;
    case pkList:
    case pkCommonList:
      fillList(static_cast<int32_t>(static_cast<uint32_t>(p->Value)));
      showList = true;
      break;
    case pkPair:
      integer(edit, 0, kPairHighMax);
      integer(edit2, 0, kPairLowMax);
      edit->setValue(0);
      edit2->setValue(0);
      showEdit = showEdit2 = true;
      break;
    case pkTemperature:
      integer(edit, kTemperatureMin, kTemperatureMax);
      edit->setValue(TemperatureOfRaw(p->Value));
      showEdit = true;
      break;
    case pkNegativeTemperature:
      integer(edit, kNegativeTemperatureMin, 0);
      edit->setValue(TemperatureOfRaw(p->Value));
      showEdit = true;
      break;
    case pkTemperatureList:
      // The item whose raw value is stored; none when it is neither.
      fillList(p->Value == kTemperatureListRaw[0]   ? 0
               : p->Value == kTemperatureListRaw[1] ? 1
                                                    : -1);
      showList = true;
      break;
    default:
      break;
  }
  edit->setVisible(showEdit);
  edit2->setVisible(showEdit2);
  list->setVisible(showList);
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
  if (confirm.exec() == QMessageBox::Ok) WriteOne(Controls->RxDGCommon->Row());
  RepaintGrid();
}

bool TParamFrm::eventFilter(QObject* Watched, QEvent* Event) {
  const Ui::ParamFrm& c = *Controls;
  const bool editor = Watched == c.WriteValueEdit || Watched == c.WriteValueEdit2 ||
                      Watched == c.WriteValueCB;
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
  Ui::ParamFrm& c = *Controls;
  CParameter* p = RecordOfRow(Row);
  QString message;
  try {
    if (!Driver || !p) {
      message = QString::fromUtf8(kNoDriver);
    } else if (const std::optional<TLinkMode> mode = LinkModeOf(p->Kind); !mode) {
      message = QString::fromUtf8(kWriteFailed);
    } else {
      int64_t raw = 0;
      switch (p->Kind) {
        case pkList:
        case pkCommonList:
          // A list without names has nothing chosen: nothing to send.
          if (c.WriteValueCB->currentIndex() < 0) {
            message = QString::fromUtf8(kWriteFailed);
            throw std::out_of_range("no value chosen");
          }
          raw = p->RawValue(c.WriteValueCB->currentIndex());
          break;
        case pkPair:
          raw = std::llround(c.WriteValueEdit->value()) * kPairBase +
                std::llround(c.WriteValueEdit2->value());
          break;
        case pkTemperature:
        case pkNegativeTemperature:
          raw = RawOfTemperature(c.WriteValueEdit->value());
          break;
        case pkTemperatureList: {
          const int item = c.WriteValueCB->currentIndex();
          raw = item == 0 || item == 1 ? kTemperatureListRaw[item] : 0;
          break;
        }
        default:  // the number kinds
          raw = p->RawValue(c.WriteValueEdit->value());
          break;
      }
      if (*mode == lmAddress) p->Code = c.edIDNumber->value();
      const bool ok = Driver->WriteParam(*mode, c.ComPortEdit->value(), c.AddrEdit->value(),
                                         p->Code, p->Digits, raw);
      if (ok) {
        message = QString::fromUtf8(kWritten);
        p->Value = raw;
        p->ReadText = p->ValueToText(raw);
        SetStatusColour(TStatusColour::Success);
      } else {
        message = QString::fromUtf8(kWriteFailed);
        SetStatusColour(TStatusColour::Failure);
      }
    }
  } catch (const std::exception&) {
    SetStatusColour(TStatusColour::Failure);
  }
  SetStatus(message);
  findChild<QTimer*>("Timer1")->start();
}
