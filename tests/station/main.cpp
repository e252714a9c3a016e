// Runs the host's test classes on one QApplication, offscreen, with a private
// runtime directory so that Qt needs no session.
#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <cstdlib>
#include <cstring>

#include "PollerSet.h"
#include "HostTests.h"

namespace {
constexpr char kServiceWindowArg[] = "--service-window";

// Runs one test class; its failure count.
template <typename TestClass>
int Run(int Argc, char** Argv) {
  TestClass test;
  return QTest::qExec(&test, Argc, Argv);
}
}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir runtime;  // private (0700), removed at exit
  if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") && runtime.isValid())
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
  // As qx25-host runs it.
  qx25::station::PreferLockFreeEventLoop();
  QApplication app(argc, argv);
  int failed = 0;
  // The service window's test needs the first station of a process, the only
  // one the driver gives its menu entry; ctest runs it as a process of its own.
  if (argc > 1 && std::strcmp(argv[1], kServiceWindowArg) == 0) {
    argv[1] = argv[0];
    return Run<ServiceWindowTest>(argc - 1, argv + 1) == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
  }
  failed += Run<HostAppTest>(argc, argv);
  failed += Run<ConsoleTest>(argc, argv);
  failed += Run<PanelTest>(argc, argv);
  failed += Run<ConsoleModelTest>(argc, argv);
  failed += Run<MenuItemTest>(argc, argv);
  failed += Run<UnplugTest>(argc, argv);
  failed += Run<OptionsTest>(argc, argv);
  failed += Run<CompareTest>(argc, argv);
  failed += Run<OverviewTest>(argc, argv);
  failed += Run<UnseenTest>(argc, argv);
  failed += Run<OperatorTest>(argc, argv);
  return failed == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
}
