#include "RecordMenu.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>

#include "HostWindow.h"

namespace qx25::station {

RecordMenu::RecordMenu(HostWindow& Owner, StartFn Starter, StopFn Stopper, FailureFn Failed)
    : QObject(&Owner),
      Window(Owner),
      Start(std::move(Starter)),
      Stop(std::move(Stopper)),
      Failure(std::move(Failed)) {
  // The recorder finds a removed file within a second; so does the operator.
  Watch.setInterval(1000);
  connect(&Watch, &QTimer::timeout, this, &RecordMenu::CheckFailure);
  QMenu* file = Window.FileEntry()->menu();
  Item = new QAction(QString::fromUtf8(kRecordText), file);
  Item->setObjectName(QStringLiteral("RecordAction"));
  Item->setCheckable(true);
  Item->setStatusTip(
      QStringLiteral("Записывать каждый обмен по линиям в файл, для qx25-sim --replay"));
  file->insertAction(Window.ExitAction(), Item);
  file->insertSeparator(Window.ExitAction());
  Recording = new QLabel(&Window);
  Recording->setObjectName(QStringLiteral("RecordLabel"));
  Window.statusBar()->addPermanentWidget(Recording);
  Recording->hide();
  // triggered, not toggled: Show sets the check without asking again.
  connect(Item, &QAction::triggered, this, [this](bool Checked) {
    if (Checked) {
      Show(false);  // checked only once a file is chosen and begun
      AskWhere();
    } else {
      StopRecording();
    }
  });
}

void RecordMenu::AskWhere() {
  // Not modal: the forecourt stays in command while a name is chosen.
  auto* dialog =
      new QFileDialog(&Window, QStringLiteral("Записывать обмен в файл"), QDir::homePath(),
                      QStringLiteral("Запись обмена (*.rec);;Все файлы (*)"));
  dialog->setObjectName(QStringLiteral("RecordFileDialog"));
  dialog->setOption(QFileDialog::DontUseNativeDialog);
  dialog->setAcceptMode(QFileDialog::AcceptSave);
  // An existing file is moved aside, never overwritten: no question needed.
  dialog->setOption(QFileDialog::DontConfirmOverwrite);
  dialog->setDefaultSuffix(QStringLiteral("rec"));
  dialog->selectFile(QStringLiteral("qx25-lines.rec"));
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialog, &QFileDialog::fileSelected, this, &RecordMenu::RecordTo);
  dialog->show();
}

bool RecordMenu::RecordTo(const QString& Path) {
  const QString error = Start(Path);
  if (!error.isEmpty()) {
    Window.statusBar()->showMessage(QStringLiteral("Запись обмена не начата: %1").arg(error));
    Show(false);
    return false;
  }
  Show(true, Path);
  return true;
}

void RecordMenu::StopRecording() {
  Stop();
  Window.statusBar()->showMessage(QStringLiteral("Запись обмена остановлена"));
  Show(false);
}

void RecordMenu::CheckFailure() {
  const QString why = Failure();
  if (why.isEmpty()) return;
  Stop();
  Window.statusBar()->showMessage(QStringLiteral("Запись обмена прервана: %1").arg(why));
  Show(false);
}

void RecordMenu::Show(bool On, const QString& Path) {
  Item->setChecked(On);
  Recording->setVisible(On);
  if (On) {
    Recording->setText(QStringLiteral("Запись обмена: ") + QFileInfo(Path).fileName());
    Recording->setToolTip(QStringLiteral("Запись обмена в ") + QFileInfo(Path).absoluteFilePath());
  }
  if (On)
    Watch.start();
  else
    Watch.stop();
}

}  // namespace qx25::station
