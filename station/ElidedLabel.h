// A label of two lines whose text never moves the layout around it: a longer
// text is cut with an ellipsis where the label ends, and the whole of it is
// in the tool tip. text() stays the whole text.
#pragma once

#include <QLabel>

namespace qx25::station {

class ElidedLabel : public QLabel {
  Q_OBJECT

 public:
  explicit ElidedLabel(QWidget* Parent = nullptr);

  // The text, and a detail for the tip only (the driver's own message).
  void SetText(const QString& Text, const QString& Detail = {});
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* Event) override;
};

}  // namespace qx25::station
