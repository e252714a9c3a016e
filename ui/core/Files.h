// Parameter files, the copy buffer and the nozzle address rule: a file
// failure comes back as the text to show, never as an exception.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "driver/HostContract.h"
#include "driver/QX25.h"
#include "params/ParameterUnit.h"
#include "params/TypedNumber.h"
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
// gave none: missing, too large, not a regular file, unreadable, not text).
// What it leaves keeps the record's value.
TStatus LoadValues(CTRKParameters* Catalog, const std::string& FileName);
// The same from the copy buffer, in the buffer's words.
TStatus PasteValues(CTRKParameters* Catalog, const std::string& BufferFile);
// What the status bar says after a save, or a copy, that worked.
TStatus SavedStatus(const std::string& FileName);
TStatus CopiedStatus();

// A file's trouble as the parameter files word it (the system's English),
// in the window's words.
std::string ReasonText(std::string_view Why);

// The name a file dialog's choice stands for: Suffix is added to a name
// without one, unless the name is an existing device or special file.
std::string WithDefaultSuffix(const std::string& FileName, const std::string& Suffix);
// A chosen name that names no file, but whose folder holds one file whose
// name reads as the same text, by Decode (a toolkit's reading of a name's
// bytes, which marks what is no UTF-8) or, for a name that is no UTF-8, as
// Windows-1251 (a name copied from a Windows station): that file. Any other
// name as it is.
std::string ExistingFileName(const std::string& FileName,
                             const std::function<std::string(const std::string&)>& Decode);
// Bytes as Windows-1251 text, in UTF-8.
std::string Windows1251Text(std::string_view Bytes);

// The address dialog's two fields, read from their texts as typed, and the
// address they give. A text that does not read is refused with its field
// named; an address the window's address field cannot take is refused, never
// brought into range, so the dialog keeps the numbers for the user to correct.
inline constexpr int kNozzleMin = 1, kNozzleMax = kMaxNozzle;
inline constexpr int kDispenserMin = 0, kDispenserMax = kAddressMax;  // 0 counts as the first
inline constexpr char kNozzleField[] = "№ пистолета";
inline constexpr char kDispenserField[] = "№ ТРК";
// The address in Raw, or why there is none (without a driver: none either).
qx25::params::TTypedValue ReadNozzleAddress(TQX25* Driver, std::string_view NozzleText,
                                            std::string_view DispenserText);

}  // namespace qx25::ui
