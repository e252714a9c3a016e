// The small pictures on the window's buttons, drawn here so that the driver
// ships no bitmaps of its own.
#pragma once

#include <QIcon>

namespace qx25::ui {

QIcon AddressGlyph();  // the address button: a nozzle number worked out
QIcon CloseGlyph();    // a door left open
QIcon CopyGlyph();     // two sheets
QIcon PasteGlyph();    // a clipboard with a sheet
QIcon OkGlyph();       // a tick
QIcon CancelGlyph();   // a cross

}  // namespace qx25::ui
