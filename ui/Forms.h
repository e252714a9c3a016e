// What the window and its dialogs share in how they look: the form font,
// a fixed frame at the forms' pixel sizes, centred on the screen, and
// captions that fit their controls whatever font the system has (where a
// caption would not fit, its font is narrowed and, past that, made smaller).
#pragma once

#include <QSize>

class QDialog;
class QWidget;

namespace qx25::ui {

// The application font at the forms' 8 points; before the form is set up,
// so that its controls inherit it.
void UseFormFont(QDialog& Dialog);
// A frame that cannot be resized, of Client size, centred on the screen of
// Dialog's parent (or the primary one), with its captions fitted.
void FinishFixedDialog(QDialog& Dialog, QSize Client);

void FitCaptions(QWidget& Form);

}  // namespace qx25::ui
