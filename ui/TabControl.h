// A tab control as the window uses it: one row of tabs over a page that
// stays the same widget whatever tab is selected (the grid filters its rows
// by the tab instead). Children other than the tab bar are laid on the page
// by the window; the page is the area below the tabs.
#pragma once

#include <QRect>
#include <QWidget>

class QTabBar;

class TTabControl : public QWidget {
  Q_OBJECT

 public:
  explicit TTabControl(QWidget* Parent = nullptr);

  QTabBar* Tabs() const { return Bar; }
  // The selected tab, -1 when there is none.
  int TabIndex() const;
  // The area under the tabs, inside the page frame, in this widget's coordinates.
  QRect PageRect() const;
  // The widget that fills the page (the grid); resized with the control.
  void SetPage(QWidget* Page);

 signals:
  void Change();

 protected:
  void resizeEvent(QResizeEvent* Event) override;
  void paintEvent(QPaintEvent* Event) override;

 private:
  void LayOut();

  QTabBar* Bar;
  QWidget* Page = nullptr;
};
