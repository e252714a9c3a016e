// Typing into the "Запись" editor key by key and pressing Enter, for the
// window's tests of typed values under either locale.
#pragma once

#include <QDoubleSpinBox>
#include <QPointer>
#include <QTest>

#include "WindowRig.h"

namespace uitest {

// Answers the next confirmation with Button, keeping its detail; the poll
// ends with the returned timer, also when no confirmation came.
inline QPointer<QTimer> Answer(QMessageBox::StandardButton Button, QString* Detail) {
  auto* poll = new QTimer;
  poll->setInterval(5);
  QObject::connect(poll, &QTimer::timeout, [poll, Button, Detail] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    poll->stop();
    poll->deleteLater();
    *Detail = box->informativeText();
    box->button(Button)->click();
  });
  poll->start();
  return poll;
}

// Presses Enter in Editor and answers OK to the confirmation it brings, if
// any; the confirmation's detail, or "none" when no confirmation came.
inline QString ConfirmOnEnter(QWidget* Editor) {
  QString detail = "none";
  QPointer<QTimer> poll = Answer(QMessageBox::Ok, &detail);
  QTest::keyClick(Editor, Qt::Key_Return);
  QTest::qWait(20);
  delete poll.data();
  return detail;
}

inline void Type(QDoubleSpinBox* Edit, const QString& Text) {
  Edit->selectAll();
  QTest::keyClick(Edit, Qt::Key_Delete);
  QTest::keyClicks(Edit, Text);
}

struct TTyped {
  int Row;
  const char* Text;
  int64_t Raw;          // what reaches the line; -1 for nothing
  const char* Refusal;  // what the bar says then
};

// Types each case into row's editor and presses Enter, answering OK.
inline void TypeAndEnter(WindowRig& Rig, TParamFrm& W, const TTyped& Case) {
  const QString what = QString::number(Case.Row) + " \"" + QString::fromUtf8(Case.Text) + "\"";
  const CParameter& p = W.Catalog()->Items(Case.Row - 1);
  OpenEditor(W, Case.Row);
  QDoubleSpinBox* edit = W.Form().WriteValueEdit;
  Type(edit, QString::fromUtf8(Case.Text));
  QCOMPARE(edit->text(), QString::fromUtf8(Case.Text));  // no key lost, nothing fixed up
  const uint64_t before = Rig.Sim.ExchangeCount();
  const QString detail = ConfirmOnEnter(edit);
  if (Case.Raw < 0) {
    QVERIFY2(detail == "none", qPrintable(what + " asked " + detail));
    QCOMPARE(Rig.Sim.ExchangeCount(), before);
    QCOMPARE(Status(W), QString::fromUtf8(Case.Refusal));
    QCOMPARE(W.StatusColour(), TParamFrm::TStatusColour::Failure);
    QVERIFY(edit->isVisible());
    QCOMPARE(edit->text(), QString::fromUtf8(Case.Text));
    return;
  }
  QCOMPARE(Rig.Sim.State(1).Params[p.Code], Case.Raw);
  QCOMPARE(Status(W), QString("Операция записи проведена."));
  // The confirmation named the value that went, as the grid now shows it.
  QString named =
      QString::fromStdString(p.Caption) + ": " + CellText(W, Case.Row, TParamModel::ColRead);
  if (!p.Units.empty()) named += " " + QString::fromStdString(p.Units);
  QVERIFY2(detail == named, qPrintable(what + ": " + detail + " / " + named));
}

}  // namespace uitest
