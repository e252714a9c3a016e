// What every program's --version prints, and the driver's description as
// text: qx25ctl and qx25-sim link the driver, qx25-host loads it at run time,
// and all three say the same thing.
#pragma once

#include <string>

#include "driver/QX25.h"

namespace qx25::programs {

// The description GetDriverInfo gives (a length byte and Windows-1251 text) in
// UTF-8. A length above the text's 27 bytes counts as 27; a byte that does not
// convert shows as '?'.
std::string DriverInfoText(const TDriverInfo& Info);

// "PROGRAM 2.41": the program and the version it was built as.
std::string ProgramVersion(const std::string& Program);

// "PROGRAM 2.41\nlibqx25 driver: v2.41#Протокол наливной Ж-4": the version the
// program was built as, which is that of the library built with it, and the
// description of the driver Factory makes (GetQX25, linked or loaded). The
// driver is made on no dispatcher and freed again. A null Factory (no driver
// could be loaded) gives the first line alone.
std::string VersionText(const std::string& Program, decltype(&GetQX25) Factory);

}  // namespace qx25::programs
