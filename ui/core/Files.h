// Parameter files, the copy buffer and the nozzle address rule: a file
// failure comes back as the text to show, never as an exception.
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
                                     const TTarget& Line);
// Takes each bulk-range value of "Parametr" that may go to the controller;
// the status says how many, and, red, which it left and why (or why the file
// gave none). What it leaves keeps the record's value.
TStatus LoadValues(CTRKParameters* Catalog, const std::string& FileName);

// The address of a nozzle, held to the address field's range; none without a driver.
std::optional<int> NozzleAddress(TQX25* Driver, int Nozzle, int Dispenser);

}  // namespace qx25::ui
