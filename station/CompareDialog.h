// "Сравнить с файлом…": the parameters of a nozzle's controller against a
// parameter file. The controller is read code by code on its line's poller
// thread, one code between two polls, so that the forecourt stays polled and
// the window never waits for the line. The codes whose values differ are
// listed in the catalog's units and texts; codes that could not be read are
// listed and marked, never taken as equal.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <map>
#include <vector>

#include "HostOptions.h"
#include "PortPoller.h"
#include "params/Comparison.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace qx25::station {

class PollerSet;

class CompareDialog : public QDialog {
  Q_OBJECT

 public:
  // Nozzles: those the console shows; Lines must outlive the dialog.
  CompareDialog(const std::vector<NozzleConfig>& Nozzles, PollerSet& Lines, QWidget* Parent);

  // What the operator picks, for the menu and for tests.
  void SelectNozzle(int Port, int Nozzle);
  void SetFile(const QString& Path);
  // "Сравнить": checks the file, then reads the controller; a file that
  // cannot be compared is said in the result line and nothing is read.
  void StartComparing();
  bool Running() const { return Poller != nullptr && Next >= 0; }
  QString ResultText() const;
  QTableWidget& Table() const { return *Rows; }

 signals:
  // A comparison ended: with its table, or with the reason there is none.
  void Finished();

 private:
  void AskForFile();
  void Ask();
  void Take(const ParameterAnswer& Answer);
  void Stop(const QString& Why);
  void Finish();
  void ShowResult();
  void SetResult(const QString& Line, bool Trouble);
  QString FileTrouble(const QString& Path);

  std::vector<NozzleConfig> Choices;
  PollerSet& Pollers;
  CTRKParameters Catalog;
  params::TValues FileValues;
  params::TValues Controller;
  std::map<int, QString> Unread;  // catalog index -> why
  QPointer<PortPoller> Poller;    // the line being read, while it is
  int ReadNozzle = 0;             // the nozzle being read
  int Next = -1;                  // catalog index being read; -1 when nothing is
  int InARow = 0;
  quint64 Ticket = 0;

  QComboBox* NozzleBox;
  QLineEdit* FileEdit;
  QPushButton* StartBtn;
  QPushButton* StopBtn;
  QCheckBox* SettingsOnly;
  QProgressBar* Progress;
  QLabel* Doing;
  QLabel* Result;
  QTableWidget* Rows;
};

// Opens a comparison over the console's window (not modal: the forecourt
// stays in command); several may be open at once.
CompareDialog* OpenCompareDialog(const std::vector<NozzleConfig>& Nozzles, PollerSet& Lines,
                                 QWidget& Window);

}  // namespace qx25::station
