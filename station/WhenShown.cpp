#include "WhenShown.h"

#include <QEvent>
#include <QWidget>

namespace qx25::station {

namespace {

class ShowWatch : public QObject {
 public:
  ShowWatch(QWidget& Watched, std::function<void()> Then)
      : QObject(&Watched), Callback(std::move(Then)) {
    Watched.installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override {
    if (Event->type() == QEvent::Show) Callback();
    return QObject::eventFilter(Watched, Event);
  }

 private:
  std::function<void()> Callback;
};

}  // namespace

void WhenShown(QWidget& Watched, std::function<void()> Then) {
  new ShowWatch(Watched, std::move(Then));
}

}  // namespace qx25::station
