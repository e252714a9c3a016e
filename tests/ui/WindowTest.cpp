// The window as a technician first meets it: the host's menu entry, the tabs
// and their rows, the grid's texts and heights, closing, and what it looks like.
#include <QLabel>
#include <QStatusBar>
#include <QTabBar>
#include <QTest>
#include <QToolTip>

#include "TestRegistry.h"
#include "WindowRig.h"

using namespace uitest;

namespace {
// Grid rows of the catalog as the window spreads them over the tabs.
const QList<int> kCommonRows = {2, 3, 4, 5, 6};
const QList<int> kAddressRows = {1};
QList<int> ParameterRows() {
  QList<int> rows;
  for (int row = 7; row <= 50; ++row) rows.append(row);
  return rows;
}
constexpr int kRowListCode2 = 8;   // "Режим работы рукава", three value names
constexpr int kRowListCode3 = 9;   // six value names
constexpr int kRowCode5 = 10;      // 0.4 мс, one decimal
constexpr int kRowCode13 = 18;     // a long caption with long units
constexpr int kRowCode16 = 21;     // density, two decimals, 600.00 to 1200.00
constexpr int kRowCode36 = 41;     // fuel temperature
constexpr int kColRead = TParamModel::ColRead, kColWrite = TParamModel::ColWrite;
}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void MenuEntryOnlyUnderExactEntryAndOnlyOnce() {
    QMenuBar bar;
    bar.addMenu("&Файл");
    bar.addMenu("ТРК");  // no ampersand: not the entry
    bar.addMenu("&трк");
    MenuPending = true;
    DriverPtr driver(GetQX25(0, 0, nullptr));
    driver->InstallMenu(&bar, &CreateMenuItem);
    QVERIFY(!ServiceItem(bar, "ТРК") && !ServiceItem(bar, "&трк"));
    QVERIFY(!MenuPending);
    // A later call finds nothing to do, even with the right entry.
    bar.addMenu("&ТРК");
    driver->InstallMenu(&bar, &CreateMenuItem);
    QVERIFY(!ServiceItem(bar));

    MenuPending = true;
    driver->InstallMenu(&bar, &CreateMenuItem);
    QAction* item = ServiceItem(bar);
    QVERIFY(item);
    QCOMPARE(LastMenuPosition, -1);
    QCOMPARE(item->toolTip(), QString::fromUtf8(kEntryCaption));
    QCOMPARE(item->statusTip(), QString::fromUtf8(kEntryCaption));
    QVERIFY(item->shortcut().isEmpty());
    MenuPending = true;
  }

  void BadMenuArgumentsAreRefusedAndLeaveTheMenuPending() {
    MenuPending = true;
    DriverPtr driver(GetQX25(0, 0, nullptr));
    int notAWidget = 0;
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, driver->InstallMenu(&notAWidget, &CreateMenuItem));
    QMenuBar bar;
    bar.addMenu("&ТРК");
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, driver->InstallMenu(&bar, nullptr));
    QVERIFY(MenuPending);
    driver->InstallMenu(nullptr, &CreateMenuItem);  // no menu: nothing to add
    QVERIFY(!MenuPending);
    MenuPending = true;
  }

  void WindowOpensForTheDriverBuiltLast() {
    WindowRig rig;
    DriverPtr later(GetQX25(0, 0, &rig.Lines));
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      QCOMPARE(w.Driver, later.get());
      QVERIFY(w.Form().AddrBtn->isEnabled());
      QCOMPARE(w.objectName(), QString("ParamFrm"));
      QCOMPARE(w.windowTitle(), QString("Программирование параметров ТРК"));
      QCOMPARE(w.size(), QSize(817, 705));
    }));
    QVERIFY(!ParamWindow);
  }

  void WithoutDriverTheWindowIsNeverShown() {
    QVERIFY(!ParamWindow);
    ShowParamWindow(nullptr);  // returns at once: nothing modal ran
    QVERIFY(!ParamWindow);
    QVERIFY(!TrkParameters);
  }

  void EachTabShowsItsRows() {
    WindowRig rig;
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      const Ui::ParamFrm& c = w.Form();
      QCOMPARE(ShownRows(w), kCommonRows);
      QVERIFY(c.IDLabel->isHidden() && c.edIDNumber->isHidden());
      QCOMPARE(TrkParameters, w.Catalog());
      WriteScreenshot(w, "ParamFrm-tab0");

      c.TabControl1->Tabs()->setCurrentIndex(1);
      QCOMPARE(ShownRows(w), kAddressRows);
      QVERIFY(c.IDLabel->isVisible() && c.edIDNumber->isVisible());
      QCOMPARE(c.RxDGCommon->Row(), 1);
      WriteScreenshot(w, "ParamFrm-tab1");

      c.TabControl1->Tabs()->setCurrentIndex(2);
      QCOMPARE(ShownRows(w), ParameterRows());
      QVERIFY(c.IDLabel->isHidden());
      QCOMPARE(c.RxDGCommon->Row(), 7);
      WriteScreenshot(w, "ParamFrm-tab2");
    }));
    QVERIFY(!TrkParameters);
  }

  void HiddenRowsNeverBecomeCurrent() {
    WindowRig rig;
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      TRXDrawGrid* grid = w.Form().RxDGCommon;
      grid->setFocus();
      QCOMPARE(grid->Row(), 2);  // entering the grid moves to the tab's first row
      QTest::keyClick(grid, Qt::Key_Up);
      QCOMPARE(grid->Row(), 2);
      for (int i = 0; i < 10; ++i) QTest::keyClick(grid, Qt::Key_Down);
      QCOMPARE(grid->Row(), 6);
      QTest::keyClick(grid, Qt::Key_End);
      QTest::keyClick(grid, Qt::Key_PageDown);
      QVERIFY(kCommonRows.contains(grid->Row()));
      grid->SetCurrentCell(3, 30);  // from code, too
      QVERIFY(kCommonRows.contains(grid->Row()));
      // A click lands on a shown row only.
      const QRect last = grid->visualRect(grid->model()->index(5, 1));
      QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, last.center() + QPoint(0, 30));
      QVERIFY(kCommonRows.contains(grid->Row()));
    }));
  }

  void RowsAreAtLeast20PixelsAndGrowWithTheirNames() {
    WindowRig rig;
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      w.Form().TabControl1->Tabs()->setCurrentIndex(2);
      const TRXDrawGrid* grid = w.Form().RxDGCommon;
      for (int row : ParameterRows()) QVERIFY(grid->RowHeight(row) >= 20);
      QVERIFY(grid->RowHeight(kRowListCode3) > grid->RowHeight(kRowCode5));
      QVERIFY(grid->RowHeight(kRowListCode3) >= 7 * QFontMetrics(grid->font()).lineSpacing());
      // A narrower name column wraps the captions into taller rows.
      const int before = grid->RowHeight(kRowCode13);
      w.Form().RxDGCommon->setColumnWidth(TParamModel::ColName, 120);
      QVERIFY(grid->RowHeight(kRowCode13) > before);
    }));
  }

  void CellTextsOfEachKind() {
    WindowRig rig;
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      QCOMPARE(w.DescriptionText(kRowListCode2),
               QString("Режим работы рукава:\r\n  0-Откл.;\r\n  1-Первая сторона;\r\n"
                       "  2-Вторая сторона"));
      QCOMPARE(w.LimitsText(kRowListCode2), QString("<список>"));
      QCOMPARE(w.DescriptionText(kRowCode5),
               QString("Минимальная длительность счетных импульсов (мс)"));
      QCOMPARE(w.LimitsText(kRowCode5), QString("от 0.0 до 50.0 мс"));
      QCOMPARE(w.LimitsText(kRowCode16), QString("от 600.00 до 1,200.00 кг/м3"));
      QCOMPARE(w.LimitsText(1), QString("от 0 до 99 "));
      QCOMPARE(w.LimitsText(kRowCode36), QString("от -99 до +200 OC (200 - датчик отключен)"));
      QCOMPARE(w.LimitsText(2), QString("<список>"));
      QCOMPARE(CellText(w, kRowCode5, 0), QString("5"));
      QCOMPARE(CellText(w, kRowCode5, kColWrite), QString("0.4"));
      QCOMPARE(CellText(w, kRowCode5, kColRead), QString());
      // "Запись" shows the lower limit for a value below it.
      w.Catalog()->Items(kRowCode16 - 1).Value = 0;
      QCOMPARE(CellText(w, kRowCode16, kColWrite), QString("600.00"));
      w.Catalog()->Items(kRowCode16 - 1).ReadError = true;
      QCOMPARE(CellText(w, kRowCode16, kColRead), QString("Ошибка чтения!"));
      const TParamModel& model = w.Model();
      QCOMPARE(model.headerData(3, Qt::Horizontal, Qt::DisplayRole).toString(), QString("Чтение"));
    }));
  }

  void HintsFollowTheMouse() {
    WindowRig rig;
    QVERIFY(rig.WithWindow([&](TParamFrm& w) {
      TRXDrawGrid* grid = w.Form().RxDGCommon;
      const QPoint readCell = grid->visualRect(grid->model()->index(1, kColRead)).center();
      const QPoint writeCell = grid->visualRect(grid->model()->index(1, kColWrite)).center();
      QTest::mouseMove(grid->viewport(), readCell);
      QTRY_COMPARE(grid->toolTip(), QString("Дважды щелкните на поле для чтения параметра"));
      QTest::mouseMove(grid->viewport(), writeCell);
      // A value cell's hint begins with its whole text, which the cell may shorten.
      QTRY_COMPARE(grid->toolTip(), QString("0-Выключить\nНажмите Enter для записи параметра"));
      QCOMPARE(w.Model().data(w.Model().index(1, kColRead), Qt::ToolTipRole).toString(),
               QString("Дважды щелкните на поле для чтения параметра"));
    }));
  }

  void EscAltXAndTheCloseButtonCloseTheWindow() {
    WindowRig rig;
    for (const auto& close : std::initializer_list<std::function<void(TParamFrm&)>>{
             [](TParamFrm& w) { QTest::keyClick(&w, Qt::Key_Escape); },
             [](TParamFrm& w) { QTest::keyClick(&w, Qt::Key_X, Qt::AltModifier); },
             [](TParamFrm& w) { w.Form().BitBtn1->click(); }}) {
      int result = -1;
      QVERIFY(rig.WithWindow([&](TParamFrm& w) {
        QObject::connect(&w, &QDialog::finished, [&](int r) { result = r; });
        close(w);
        QVERIFY(!w.isVisible());
      }));
      QVERIFY(result != -1);
      QVERIFY(!ParamWindow && !TrkParameters);
    }
  }

  void CyrillicRendersAsLetters() {
    const QFontMetrics metrics(QApplication::font());
    for (QChar letter : QString("ПрограммированиеЖЁё№"))
      QVERIFY2(metrics.inFont(letter), qPrintable(QString("no glyph for ") + letter));
  }
};

static TRegisterTest<WindowTest> registered("WindowTest");

#include "WindowTest.moc"
