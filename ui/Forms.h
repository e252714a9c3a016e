// What the window and its dialogs share in how they look: the form font, a
// fixed frame at the forms' pixel sizes, centred on the screen, captions that
// fit their controls whatever font the system has, and the small pictures on
// the buttons, drawn here so that the driver ships no bitmaps of its own.
#pragma once

#include <QFont>
#include <QIcon>
#include <functional>

class QDialog;

namespace qx25::ui {

// The application font at the forms' 8 points; before the form is set up,
// so that its controls inherit it.
void UseFormFont(QDialog& Dialog);
// A frame that cannot be resized, of Client size, centred on the screen of
// Dialog's parent (or the primary one), with its captions fitted.
void FinishFixedDialog(QDialog& Dialog, QSize Client);
// Font as it is when Fits says so, else narrowed step by step and then, if
// Smaller, made smaller, until Fits says so or nothing is left to take.
QFont FittedFont(QFont Font, const std::function<bool(const QFont&)>& Fits, bool Smaller = true);

QIcon AddressGlyph();  // the address button: a nozzle number worked out
QIcon CloseGlyph();    // a door left open
QIcon CopyGlyph();     // two sheets
QIcon PasteGlyph();    // a clipboard with a sheet
QIcon OkGlyph();       // a tick
QIcon CancelGlyph();   // a cross

}  // namespace qx25::ui
