// Lines the console stopped polling because what answers on them is not what
// it had: another device behind the line's path (another adapter, another
// program's terminal), or controllers whose totalizers went backwards. The
// line shows "другое устройство" in red, nothing is sent to it, and the
// operator decides: accept what is there now, or wait for the line's own.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <map>

class QAction;
class QMessageBox;

namespace qx25::station {

class HostWindow;

class HeldLines : public QObject {
  Q_OBJECT

 public:
  // Accept makes a port take what is on it now (the dispatcher's device and
  // the poller's counters). Adds "Принять новое устройство…" to the Line menu.
  HeldLines(HostWindow& Window, std::function<void(int Port)> Accept);

  // A poller held Port, for the reason Why; asks the operator once.
  void Hold(int Port, const QString& Why);
  // Port answers as its own again.
  void Release(int Port);
  bool IsHeld(int Port) const { return Held.count(Port) != 0; }
  QAction* AcceptAction() const { return AcceptEntry; }

 private:
  void Ask(int Port);
  void AcceptNow(int Port);

  HostWindow& Window;
  std::function<void(int Port)> Accepting;
  std::map<int, QString> Held;  // port and why
  QAction* AcceptEntry;
  QPointer<QMessageBox> Question;  // the one question open, if any
};

}  // namespace qx25::station
