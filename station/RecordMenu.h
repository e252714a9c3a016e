// The console's "Файл" menu item that starts and stops recording the lines'
// exchanges: checked while a recording runs. Starting asks for the file
// without blocking the forecourt; a part of the status line of its own names
// the file while it records (a passing message would cover the lines' names),
// and the status line says why a recording did not begin or stopped by
// itself (a full disk, its file removed).
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

class QAction;
class QLabel;

namespace qx25::station {

class HostWindow;

inline constexpr char kRecordText[] = "&Записывать обмен в файл…";

class RecordMenu : public QObject {
  Q_OBJECT

 public:
  // Start returns why the recording could not begin, or an empty text.
  using StartFn = std::function<QString(const QString& Path)>;
  using StopFn = std::function<void()>;
  // Why the running recording stopped writing, or an empty text.
  using FailureFn = std::function<QString()>;
  // Adds the item to the window's "Файл" menu, above "Выход".
  RecordMenu(HostWindow& Window, StartFn Start, StopFn Stop, FailureFn Failure);

  QAction* Action() const { return Item; }
  // Starts at once, as --record does, without the dialog.
  bool RecordTo(const QString& Path);
  void StopRecording();

 private:
  void AskWhere();
  void Show(bool On, const QString& Path = {});
  void CheckFailure();

  HostWindow& Window;
  StartFn Start;
  StopFn Stop;
  FailureFn Failure;
  QAction* Item;
  QLabel* Recording;  // "Запись: lines.rec", shown while it records
  QTimer Watch;  // runs while recording
};

}  // namespace qx25::station
