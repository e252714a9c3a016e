// The forms keep their controls' pixel places whatever font the system has:
// where a caption would not fit its control, its font is narrowed (and, past
// that, made smaller) until it does, so that no caption is ever clipped.
#pragma once

class QWidget;

namespace qx25::ui {

void FitCaptions(QWidget& Form);

}  // namespace qx25::ui
