#include "ui/TabControl.h"

#include <QPainter>
#include <QStyleOptionTabWidgetFrame>
#include <QTabBar>

namespace {
constexpr int kFrame = 2;  // the page's border, as the tab control draws it
}  // namespace

TTabControl::TTabControl(QWidget* Parent) : QWidget(Parent), Bar(new QTabBar(this)) {
  Bar->setObjectName("TabControl1Tabs");
  Bar->setDrawBase(false);
  Bar->setExpanding(false);
  connect(Bar, &QTabBar::currentChanged, this, &TTabControl::Change);
}

int TTabControl::TabIndex() const { return Bar->currentIndex(); }

QRect TTabControl::PageRect() const {
  const int top = Bar->sizeHint().height();
  return QRect(0, top, width(), height() - top).adjusted(kFrame, kFrame, -kFrame, -kFrame);
}

void TTabControl::SetPage(QWidget* NewPage) {
  Page = NewPage;
  LayOut();
}

void TTabControl::resizeEvent(QResizeEvent*) { LayOut(); }

void TTabControl::LayOut() {
  Bar->setGeometry(0, 0, width(), Bar->sizeHint().height());
  if (Page) Page->setGeometry(PageRect());
}

void TTabControl::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QStyleOptionTabWidgetFrame frame;
  frame.initFrom(this);
  frame.rect = PageRect().adjusted(-kFrame, -kFrame, kFrame, kFrame);
  frame.tabBarSize = Bar->sizeHint();
  frame.shape = QTabBar::RoundedNorth;
  style()->drawPrimitive(QStyle::PE_FrameTabWidget, &frame, &painter, this);
}
