#include "ServiceWriteRun.h"

#include <QApplication>
#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QStatusBar>

#include "Confirm.h"
#include "ui/core/Texts.h"

namespace qx25::station {

namespace {

constexpr char kWindowName[] = "ParamFrm";
constexpr char kQuestionName[] = "WriteRunQuitBox";

// Every service window, shown or hidden with its run going on.
QList<QWidget*> ServiceWindows() {
  QList<QWidget*> found;
  for (QWidget* widget : QApplication::allWidgets())
    if (widget->objectName() == QLatin1String(kWindowName)) found << widget;
  return found;
}

QString Ask(QWidget* Window, const char* Method) {
  QString answer;
  QMetaObject::invokeMethod(Window, Method, Qt::DirectConnection, Q_RETURN_ARG(QString, answer));
  return answer;
}

}  // namespace

bool QuitWaitsForServiceWrite(QMainWindow& Window) {
  bool running = false;
  for (QWidget* service : ServiceWindows())
    running = running || !Ask(service, "WriteRunProgress").isEmpty();
  if (!running) return false;
  if (Window.findChild<QMessageBox*>(QLatin1String(kQuestionName))) return true;  // asked already
  QPointer<QMainWindow> window(&Window);
  AskFirst(
      &Window,
      {QLatin1String(kQuestionName), Window.windowTitle(), QString::fromUtf8(ui::kQuitDuringWrite),
       QString::fromUtf8(ui::kQuitStopWrite), QString::fromUtf8(ui::kQuitKeepWriting)},
      [window] {
        if (!window) return;
        for (QWidget* service : ServiceWindows())
          if (const QString stopped = Ask(service, "StopWriteRun"); !stopped.isEmpty()) {
            window->statusBar()->showMessage(stopped);
            qWarning("qx25-host: %s", qPrintable(stopped));
          }
        window->close();
      });
  return true;
}

}  // namespace qx25::station
