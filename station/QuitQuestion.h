// What quitting asks while the forecourt is not at rest: deliveries under way
// go on without the console, and authorised nozzles stay authorised (a later
// start would deliver with no one watching). The question names both, offers
// to cancel the authorisations first, and follows the nozzles while it is
// shown. It blocks nothing: a Stop must work while it waits.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <set>

class QMessageBox;
class QPushButton;

namespace qx25::station {

class HostWindow;
class NozzlePanel;

class QuitQuestion : public QObject {
  Q_OBJECT

 public:
  explicit QuitQuestion(HostWindow& Window);

  // True when the window may close now; otherwise the question is shown
  // (or raised), and the window closes once the operator agrees.
  bool MayQuit();

 private:
  // The question's text for the nozzles as they are now; empty when none is open.
  QString OpenNozzles(bool& AnyAuthorised) const;
  void Refresh();
  void CancelAuthorisations();
  void Cancelled(NozzlePanel* Panel, bool Done);
  void QuitNow();

  HostWindow& Window;
  bool Agreed = false;
  QPointer<QMessageBox> Box;
  QPushButton* CancelButton = nullptr;
  std::set<NozzlePanel*> Cancelling;  // stops sent to cancel, not yet answered
  QString CancelFailed;               // the nozzles whose cancel did not go through
};

}  // namespace qx25::station
