#include "Confirm.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>

namespace qx25::station {

QMessageBox* AskFirst(QWidget* Parent, const Question& Q, std::function<void()> Then) {
  auto* box =
      new QMessageBox(QMessageBox::Question, Q.Title, Q.Text, QMessageBox::NoButton, Parent);
  box->setObjectName(Q.Name);
  box->setWindowModality(Qt::NonModal);
  box->setAttribute(Qt::WA_DeleteOnClose);
  QPushButton* yes = box->addButton(Q.Yes, QMessageBox::AcceptRole);
  QPushButton* no = box->addButton(Q.No, QMessageBox::RejectRole);
  // Going ahead is never the default: Enter or Escape leaves things as they are.
  box->setDefaultButton(no);
  box->setEscapeButton(no);
  QObject::connect(box, &QMessageBox::buttonClicked, box,
                   [yes, Then = std::move(Then)](QAbstractButton* Clicked) {
                     if (Clicked == yes) Then();
                   });
  box->show();
  return box;
}

}  // namespace qx25::station
