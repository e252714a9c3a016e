#include "QuitQuestion.h"

#include <QMessageBox>
#include <QPushButton>

#include "ConsoleWords.h"
#include "HostWindow.h"
#include "NozzlePanel.h"

namespace qx25::station {

QuitQuestion::QuitQuestion(HostWindow& Win) : QObject(&Win), Window(Win) {}

QString QuitQuestion::OpenNozzles(bool& AnyAuthorised) const {
  QStringList running, authorised;
  for (const NozzlePanel* panel : Window.Panels()) {
    const QString line = panel->title() + QStringLiteral(": ") + panel->StateText();
    if (panel->Delivering()) running << line;
    if (panel->Authorised()) authorised << line;
  }
  AnyAuthorised = !authorised.isEmpty();
  QString text;
  if (!running.isEmpty())
    text += QStringLiteral("Налив не закончен:\n") + running.join(QLatin1Char('\n')) +
            QStringLiteral("\nВыход ничего не остановит: ТРК отпустят начатые дозы до конца, "
                           "без присмотра консоли.\n");
  if (!authorised.isEmpty())
    text += (text.isEmpty() ? QString() : QStringLiteral("\n")) +
            QStringLiteral("Налив разрешён, но не начат:\n") + authorised.join(QLatin1Char('\n')) +
            QStringLiteral("\nРазрешение останется: налив можно будет начать и без консоли.\n");
  return text;
}

bool QuitQuestion::MayQuit() {
  if (Agreed) return true;
  bool anyAuthorised = false;
  if (OpenNozzles(anyAuthorised).isEmpty()) return true;
  if (Box && Box->isVisible()) {
    Box->raise();
    Box->activateWindow();
    return false;
  }
  Box = new QMessageBox(QMessageBox::Question, Window.windowTitle(), {}, QMessageBox::NoButton,
                        &Window);
  Box->setObjectName(QStringLiteral("QuitBox"));
  Box->setWindowModality(Qt::NonModal);
  Box->setAttribute(Qt::WA_DeleteOnClose);
  QPushButton* quit = Box->addButton(QStringLiteral("Выйти"), QMessageBox::AcceptRole);
  CancelButton =
      Box->addButton(QStringLiteral("Отменить разрешения и выйти"), QMessageBox::ActionRole);
  CancelButton->setObjectName(QStringLiteral("CancelAuthorisationButton"));
  QPushButton* stay = Box->addButton(QStringLiteral("Остаться"), QMessageBox::RejectRole);
  // Going ahead is never the default: Enter or Escape leaves things as they are.
  Box->setDefaultButton(stay);
  Box->setEscapeButton(stay);
  connect(Box, &QMessageBox::buttonClicked, this, [this, quit](QAbstractButton* Clicked) {
    if (Clicked == quit) QuitNow();
    if (Clicked == CancelButton) CancelAuthorisations();
  });
  // The nozzles move on behind the question: it says what they do now.
  for (NozzlePanel* panel : Window.Panels())
    connect(panel, &NozzlePanel::ReadingShown, Box, [this] { Refresh(); });
  CancelFailed.clear();
  Refresh();
  Box->show();
  return false;
}

void QuitQuestion::Refresh() {
  if (!Box) return;
  bool anyAuthorised = false;
  const QString open = OpenNozzles(anyAuthorised);
  QString text = open.isEmpty() ? QStringLiteral("Открытых наливов и разрешений больше нет.\n")
                                : open;
  if (!CancelFailed.isEmpty())
    text += QStringLiteral("\nРазрешение не отменено: ") + CancelFailed + QLatin1Char('\n');
  Box->setText(text + QStringLiteral("\nВыйти?"));
  CancelButton->setVisible(anyAuthorised && Cancelling.empty());
}

void QuitQuestion::CancelAuthorisations() {
  // The box closes on any button; it comes back if a cancel fails.
  CancelFailed.clear();
  for (NozzlePanel* panel : Window.Panels()) {
    if (!panel->Authorised()) continue;
    Cancelling.insert(panel);
    connect(panel, &NozzlePanel::OutcomeShown, this, [this, panel](const CommandOutcome& O) {
      if (O.Command.Kind != CommandKind::Stop || Cancelling.count(panel) == 0) return;
      Cancelled(panel, O.Error.isEmpty() && PortStatusMeaning(O.PortStatus).Kind ==
                                                StatusKind::Accepted);
    });
    panel->StopNow();
  }
  if (Cancelling.empty()) QuitNow();
}

void QuitQuestion::Cancelled(NozzlePanel* Panel, bool Done) {
  disconnect(Panel, &NozzlePanel::OutcomeShown, this, nullptr);
  Cancelling.erase(Panel);
  if (!Done) CancelFailed += (CancelFailed.isEmpty() ? QString() : QStringLiteral(", ")) + Panel->title();
  if (!Cancelling.empty()) return;
  if (CancelFailed.isEmpty()) return QuitNow();
  // Ask again, saying which authorisation stays.
  const QString failed = CancelFailed;
  MayQuit();
  CancelFailed = failed;
  Refresh();
}

void QuitQuestion::QuitNow() {
  Agreed = true;
  Window.close();
}

}  // namespace qx25::station
