// A question to the operator that blocks nothing: the forecourt stays in
// command while it waits (a Stop must work at any time), and the answer
// arrives later, as a call.
#pragma once

#include <QString>
#include <functional>

class QMessageBox;
class QWidget;

namespace qx25::station {

struct Question {
  QString Name;  // the box's object name, for tests
  QString Title;
  QString Text;
  QString Yes;  // the caption of the button that goes ahead
  QString No;
};

// Shows the question beside Parent and returns the box, which deletes itself
// once answered or closed. Then runs only when Yes is clicked.
QMessageBox* AskFirst(QWidget* Parent, const Question& Q, std::function<void()> Then);

}  // namespace qx25::station
