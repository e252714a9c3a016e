// Runs the host's test classes on one QApplication, offscreen, with a private
// runtime directory so that Qt needs no session.
#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <cstdlib>
#include <cstring>

#include "Forecourt.h"
#include "HostTests.h"

namespace {
constexpr char kServiceWindowArg[] = "--service-window";
}

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir runtime;  // private (0700), removed at exit
  if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") && runtime.isValid())
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
  // As qx25-host runs it.
  qx25::hostapp::PreferLockFreeEventLoop();
  QApplication app(argc, argv);
  int failed = 0;
  // The service window's test needs the first station of a process, the only
  // one the driver gives its menu entry; ctest runs it as a process of its own.
  if (argc > 1 && std::strcmp(argv[1], kServiceWindowArg) == 0) {
    argv[1] = argv[0];
    ServiceWindowTest service;
    return QTest::qExec(&service, argc - 1, argv + 1) == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
  }
  {
    HostAppTest host;
    failed += QTest::qExec(&host, argc, argv);
  }
  {
    ConsoleTest console;
    failed += QTest::qExec(&console, argc, argv);
  }
  {
    PanelTest panels;
    failed += QTest::qExec(&panels, argc, argv);
  }
  {
    ConsoleModelTest models;
    failed += QTest::qExec(&models, argc, argv);
  }
  {
    MenuItemTest menu;
    failed += QTest::qExec(&menu, argc, argv);
  }
  {
    UnplugTest unplug;
    failed += QTest::qExec(&unplug, argc, argv);
  }
  {
    OptionsTest options;
    failed += QTest::qExec(&options, argc, argv);
  }
  return failed == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
}
