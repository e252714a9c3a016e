// Parameter files, the copy buffer and the nozzle address rule as the window
// uses them: a file failure comes back as the text to show, never as an
// exception out of a button's handler.
#pragma once

#include <optional>
#include <string>

#include "driver/QX25.h"
#include "params/ParameterUnit.h"
#include "ui/core/Editing.h"

namespace qx25::ui {

// The copy buffer, "Vedo.buf" in the settings directory.
std::string BufferFileName(const std::string& SettingsDirectory);

struct TFileError {
  std::string Title;
  std::string Text;
};

// Nothing happens for a null Catalog (no window shown). With a Line, the file
// gets an [Info] section: the line, the controller and the driver's version.
std::optional<TFileError> SaveValues(const CTRKParameters* Catalog, const std::string& FileName);
std::optional<TFileError> SaveValues(const CTRKParameters* Catalog, const std::string& FileName,
                                     const TLine& Line);
// Takes from the file's "Parametr" section each bulk-range value that may go
// to the controller and returns what the status bar says: how many it took,
// and which it left and why (not a number, a key that names no parameter of
// the file, outside the limits), or that the file is missing, unreadable or
// has no such section; red when it left anything. What it leaves keeps the
// record's value.
TStatus LoadValues(CTRKParameters* Catalog, const std::string& FileName);

// The address the dialog's nozzle and dispenser numbers give, held to the
// address field's range; nothing when there is no driver to ask.
std::optional<int> NozzleAddress(TQX25* Driver, int Nozzle, int Dispenser);

}  // namespace qx25::ui
