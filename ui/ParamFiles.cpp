// Parameter files and the copy buffer: the values of the bulk range kept as
// INI text in the format the command-line tool shares. Loading only changes
// the values in the catalog; nothing goes to the controller until a write.
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QStandardPaths>

#include "params/ParameterFile.h"
#include "ui/ParamFrame.h"
#include "ui/ServiceWindow.h"
#include "ui/core/Files.h"
#include "ui/core/Texts.h"

namespace {

using qx25::ui::kInitialName, qx25::ui::kOpenSuffix, qx25::ui::kOpenTitle, qx25::ui::kSaveSuffix,
    qx25::ui::kSaveTitle;

constexpr char kAllFiles[] = "Все файлы (*)";

// The file the technician chose, empty when none. The dialog starts in the
// settings directory, made on first use, not wherever the host was started.
QString AskForFile(QWidget* Parent, const char* Name, const char* Title, const char* Suffix,
                   QFileDialog::AcceptMode Mode) {
  QDir().mkpath(SettingsDirectory());
  QFileDialog dialog(Parent);
  dialog.setObjectName(Name);
  dialog.setWindowTitle(QString::fromUtf8(Title));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setDirectory(SettingsDirectory());
  dialog.selectFile(QString::fromUtf8(kInitialName));
  dialog.setNameFilter(QString::fromUtf8(kAllFiles));
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setAcceptMode(Mode);
  if (Mode == QFileDialog::AcceptSave) dialog.setOption(QFileDialog::DontConfirmOverwrite);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  // The suffix by the core's rule: a device keeps its name.
  return QString::fromStdString(
      qx25::ui::WithDefaultSuffix(dialog.selectedFiles().first().toStdString(), Suffix));
}

// How Qt spells a name's bytes, which need not be UTF-8.
std::string QtSpelling(const std::string& Name) {
  return QFile::decodeName(QByteArray::fromStdString(Name)).toStdString();
}

void Warn(QWidget& Parent, const char* Name, const std::optional<qx25::ui::TFileError>& Error) {
  if (!Error) return;
  QMessageBox box(QMessageBox::Warning, QString::fromStdString(Error->Title),
                  QString::fromStdString(Error->Text), QMessageBox::Ok, &Parent);
  box.setObjectName(Name);
  box.exec();
}

}  // namespace

QString SettingsDirectory() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + '/' +
         QString::fromUtf8(kSettingsSubdirectory);
}

QString BufferFileName() {
  return QString::fromStdString(qx25::ui::BufferFileName(SettingsDirectory().toStdString()));
}

void TParamFrm::SaveBtnClick() {
  const QString file =
      AskForFile(this, "SaveDialog", kSaveTitle, kSaveSuffix, QFileDialog::AcceptSave);
  if (!file.isEmpty()) SaveToFile(file);
}

void TParamFrm::LoadBtnClick() {
  const QString file =
      AskForFile(this, "OpenDialog", kOpenTitle, kOpenSuffix, QFileDialog::AcceptOpen);
  if (!file.isEmpty()) LoadFromFile(file);
}

void TParamFrm::CopyToolClick() {
  QDir().mkpath(SettingsDirectory());
  SaveToFile(BufferFileName());
}

void TParamFrm::PasteToolClick() {
  ShowStatus(qx25::ui::PasteValues(Catalog(), BufferFileName().toStdString()));
  RunInputs->Publish(Catalog());
  RepaintGrid();
}

void TParamFrm::SaveToFile(const QString& FileName) {
  // The file names the line it came from: the one the fields show, or none is saved.
  const std::optional<qx25::ui::TTarget> target = RequestTarget();
  if (!target) return;
  const std::optional<qx25::ui::TFileError> error =
      qx25::ui::SaveValues(Catalog(), FileName.toStdString(), *target);
  if (!error && Catalog())
    ShowStatus(FileName == BufferFileName() ? qx25::ui::CopiedStatus()
                                            : qx25::ui::SavedStatus(FileName.toStdString()));
  Warn(*this, "SaveFailed", error);
}

void TParamFrm::LoadFromFile(const QString& FileName) {
  const std::string name = qx25::ui::ExistingFileName(FileName.toStdString(), QtSpelling);
  ShowStatus(qx25::ui::LoadValues(Catalog(), name));
  RunInputs->Publish(Catalog());
  RepaintGrid();
}
