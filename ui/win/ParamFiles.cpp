// Parameter files and the copy buffer: the values of the bulk range kept as
// INI text in the format the command-line tool shares. Loading only changes
// the values in the catalog; nothing goes to the controller until a write.
#include <windows.h>
// After windows.h, which it needs.
#include <commdlg.h>

#include <filesystem>
#include <optional>

#include "ui/core/Files.h"
#include "ui/core/Texts.h"
#include "ui/win/Controls.h"
#include "ui/win/ParamWindow.h"
#include "ui/win/ServiceWindow.h"
#include "ui/win/Text.h"

namespace qx25::win {
namespace {

using ui::kInitialName, ui::kOpenSuffix, ui::kOpenTitle, ui::kSaveSuffix, ui::kSaveTitle;

void MakeSettingsDirectory() {
  std::error_code ignored;  // a dialog then starts elsewhere; a save says why it failed
  std::filesystem::create_directories(std::filesystem::path(Wide(SettingsDirectory())), ignored);
}

// The name the technician chose, or nothing when the dialog was cancelled.
std::optional<std::string> AskFileName(HWND Owner, const char* Title, const char* Suffix,
                                       bool Save) {
  MakeSettingsDirectory();
  const std::wstring title = Wide(Title), directory = Wide(SettingsDirectory());
  std::wstring name = Wide(kInitialName);
  name.resize(MAX_PATH * 4);
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = Owner;
  dialog.lpstrFile = name.data();
  dialog.nMaxFile = static_cast<DWORD>(name.size());
  dialog.lpstrInitialDir = directory.c_str();
  dialog.lpstrTitle = title.c_str();
  dialog.Flags = OFN_EXPLORER | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
  const TNameNextDialog named(Save ? L"SaveDialog" : L"OpenDialog");
  const BOOL chosen = Save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog);
  if (!chosen) return std::nullopt;
  // The suffix by the core's rule, not the dialog's: a device keeps its name.
  return ui::WithDefaultSuffix(Utf8(name.c_str()), Suffix);
}

}  // namespace

void TParamFrm::SaveBtnClick() {
  const HWND self = Window;
  const std::optional<std::string> name = AskFileName(Window, kSaveTitle, kSaveSuffix, true);
  if (name && IsWindow(self)) SaveToFile(*name);
}

void TParamFrm::LoadBtnClick() {
  const HWND self = Window;
  const std::optional<std::string> name = AskFileName(Window, kOpenTitle, kOpenSuffix, false);
  if (name && IsWindow(self)) LoadFromFile(*name);
}

void TParamFrm::CopyToolClick() {
  MakeSettingsDirectory();
  SaveToFile(ui::BufferFileName(SettingsDirectory()));
}

void TParamFrm::PasteToolClick() {
  ShowStatus(ui::PasteValues(Catalog(), ui::BufferFileName(SettingsDirectory())));
  RunInputs->Publish(Catalog());
  Grid->Repaint();
}

void TParamFrm::SaveToFile(const std::string& FileName) {
  // Says, with the file's name and the reason, why a file could not be used.
  // The file names the line it came from: the one the fields show, or none is saved.
  const std::optional<ui::TTarget> target = RequestTarget();
  if (!target) return;
  const std::optional<ui::TFileError> error = ui::SaveValues(Catalog(), FileName, *target);
  if (!error && Catalog())
    ShowStatus(FileName == ui::BufferFileName(SettingsDirectory()) ? ui::CopiedStatus()
                                                                   : ui::SavedStatus(FileName));
  if (error)
    MessageBoxW(Window, Wide(error->Text).c_str(), Wide(error->Title).c_str(),
                MB_OK | MB_ICONWARNING);
}

void TParamFrm::LoadFromFile(const std::string& FileName) {
  ShowStatus(ui::LoadValues(Catalog(), FileName));
  RunInputs->Publish(Catalog());
  Grid->Repaint();
}

}  // namespace qx25::win
