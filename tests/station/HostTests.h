// The host's test classes, run by main.cpp on one QApplication.
#pragma once

#include <QObject>

class HostAppTest : public QObject {
  Q_OBJECT

 private slots:
  void loadsDriverThroughDlopen();
  void searchListFindsTheBuiltLibrary();
  void menuBarHasFileAndDispenserEntries();
  void menuFunctionAddsUnderDispenserEntry();
  void driverRunsEndToEndOnSimulator();
  void listsLinesWithTheirState();
  void aLineWithoutAccessSaysWhy();
  void noLineSaysHowToAddOne();
  void missingLibraryIsAClearError();
  void screenshot();
};

class MenuItemTest : public QObject {
  Q_OBJECT

 private slots:
  void insertsBeforePositionOrAppends();
  void refusesWhatIsNotAMenuEntry();
  void findsTopLevelEntryByExactText();
};

class OptionsTest : public QObject {
  Q_OBJECT

 private slots:
  void acceptsLinesAndSimulator();
  void nozzlesFollowTheLines();
  void rejectsBadArguments_data();
  void rejectsBadArguments();
  void versionEndsWithoutOptions();
};

class ConsoleTest : public QObject {
  Q_OBJECT

 private slots:
  void deliveryThroughTheButtons();
  void stopAndResetCloseADelivery();
  void refusalShowsCodeAndMeaning();
  void silentLineLeavesTheRestResponsive();
  void wholeStationRunsAtOnce();
  void pollerReportsRefusalsAndFailures();
  void noStartAtAPriceNeverSent();
  void quitDuringADeliveryAsksFirst();
  void quitNamesAuthorisedNozzlesAndCancelsThem();  // QuitTest.cpp
  void recordingReplaysWithTheSameOutcomes();
  void aRecordingThatStopsByItselfSaysWhy();
};

class ConsoleModelTest : public QObject {
  Q_OBJECT

 private slots:
  void requestsAreNamedByTheirLetter();
  void portStatusIsSortedAndNamed();
  void statesInWords();
  void traceComesInBatchesAndKeepsTheNewest();
  void unreadTraceIsBounded();
  void traceFilterAndSave();
  void scrolledUpTraceStaysStill();
  void traceCellsFollowTheirColumnsWidth();
};

class PanelTest : public QObject {
  Q_OBJECT

 private slots:
  void longMessagesMoveNothing();
  void everyStatusIsInRussian();
};

// Run alone (station_tests --service-window): it needs the driver's menu entry.
class ServiceWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void stopWorksWhileTheServiceWindowIsOpen();
};

class UnplugTest : public QObject {
  Q_OBJECT

 private slots:
  void survivesTenUnplugCycles();
  // DeviceCheckTest.cpp
  void anotherDeviceBehindTheLinkIsHeld();
  void totalizerGoingBackwardsHoldsTheLine();
  void recordingOfALossAndLateBytesChecksAsRecorded();
};

class CompareTest : public QObject {
  Q_OBJECT

 private slots:
  void listsExactlyTheCodesThatDiffer();
  void unreadCodesAreMarkedNotEqual();
  void fileThatIsNoParameterFileIsSaid();
};

class OverviewTest : public QObject {
  Q_OBJECT

 private slots:
  void tileFollowsItsNozzle();
  void marksStayUntilSeen();
  void deliveryCurveInItsPanel();
  void thirtyLinesAtAGlance();
  void chartsDrawTheModelsFigures();
  void troubleIsKeptForFiveMinutes();
};

class UnseenTest : public QObject {
  Q_OBJECT

 private slots:
  void hiddenPanelCatchesUpWhenShown();
  void figuresWaitForAFrameMarksDoNot();
  void hiddenTraceCatchesUpWhenShown();
  void reportsKeepEachLinesOrder();
};

class OperatorTest : public QObject {
  Q_OBJECT

 private slots:
  void typedPointsAreDecimals();
  void moneyDoseComesToWholeLitres();
  void restartKeepsThePriceAndNeverSaysZeroMoney();
  void oneKeyStopsTheChosenNozzle();
  void keyboardAloneDeliversAndStops();  // KeyboardTest.cpp
  void simulatedLinesStartAtTheCatalogValues();
  void finishedDeliveryStaysUntilSeen();
  void aFailedLineIsSaidAsOne();
};
