// Parameter files and the copy buffer: the values of the bulk range kept as
// INI text in the format the command-line tool shares. Loading only changes
// the values in the catalog; nothing goes to the controller until a write.
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QStandardPaths>
#include <exception>

#include "params/ParameterFile.h"
#include "ui/ParamFrame.h"
#include "ui/ServiceWindow.h"

namespace {

constexpr char kSaveTitle[] = "Сохранение файла настроек";
constexpr char kOpenTitle[] = "Считать параметры из файла";
constexpr char kInitialName[] = "ТРК";
constexpr char kSaveSuffix[] = "par";
constexpr char kOpenSuffix[] = "tar";
constexpr char kSaveFailedTitle[] = "Сохранение параметров";
constexpr char kLoadFailedTitle[] = "Чтение параметров";

std::string Native(const QString& FileName) { return QDir::toNativeSeparators(FileName).toStdString(); }

}  // namespace

QString SettingsDirectory() {
#ifdef _WIN32
  return QString::fromUtf8(kSettingsDirectory);
#else
  return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/ZARO/Settings";
#endif
}

QString BufferFileName() { return SettingsDirectory() + "/Vedo.buf"; }

namespace {

// The dialogs start in the settings directory, made on first use so that
// they open there rather than wherever the host was started.
void PrepareDialog(QFileDialog& Dialog, const char* Name, const char* Title, const char* Suffix) {
  QDir().mkpath(SettingsDirectory());
  Dialog.setObjectName(Name);
  Dialog.setWindowTitle(QString::fromUtf8(Title));
  Dialog.setOption(QFileDialog::DontUseNativeDialog);
  Dialog.setDirectory(SettingsDirectory());
  Dialog.selectFile(QString::fromUtf8(kInitialName));
  Dialog.setDefaultSuffix(Suffix);
  Dialog.setFileMode(QFileDialog::AnyFile);
}

// Says, with the file's name and the reason, why a file could not be used;
// an exception must not leave the button's handler.
void Warn(QWidget& Parent, const char* Name, const char* Title, const char* Text,
          const QString& FileName, const std::exception& Error) {
  QMessageBox box(QMessageBox::Warning, QString::fromUtf8(Title),
                  QString::fromUtf8(Text).arg(QDir::toNativeSeparators(FileName),
                                              QString::fromUtf8(Error.what())),
                  QMessageBox::Ok, &Parent);
  box.setObjectName(Name);
  box.exec();
}

}  // namespace

void TParamFrm::SaveBtnClick() {
  QFileDialog dialog(this);
  PrepareDialog(dialog, "SaveDialog", kSaveTitle, kSaveSuffix);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
    SaveToFile(dialog.selectedFiles().first());
}

void TParamFrm::LoadBtnClick() {
  QFileDialog dialog(this);
  PrepareDialog(dialog, "OpenDialog", kOpenTitle, kOpenSuffix);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
    LoadFromFile(dialog.selectedFiles().first());
}

void TParamFrm::CopyToolClick() {
  QDir().mkpath(SettingsDirectory());
  SaveToFile(BufferFileName());
}

void TParamFrm::PasteToolClick() { LoadFromFile(BufferFileName()); }

void TParamFrm::SaveToFile(const QString& FileName) {
  if (!Catalog()) return;
  try {
    SaveParameterFile(*Catalog(), Native(FileName));
  } catch (const std::exception& Error) {
    // The old file, if any, is still whole: a save writes beside it and
    // renames over it only once the new one is complete.
    Warn(*this, "SaveFailed", kSaveFailedTitle, "Не удалось сохранить параметры в файл %1:\n%2",
         FileName, Error);
  }
}

void TParamFrm::LoadFromFile(const QString& FileName) {
  if (Catalog()) {
    try {
      LoadParameterFile(*Catalog(), Native(FileName));
    } catch (const std::exception& Error) {
      Warn(*this, "LoadFailed", kLoadFailedTitle, "Не удалось прочитать параметры из файла %1:\n%2",
           FileName, Error);
    }
  }
  RepaintGrid();
}
