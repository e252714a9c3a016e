#include <QApplication>
#include <QDir>
#include <QFont>
#include <QTest>
#include <cstdio>
#include <cstdlib>

#include "TestRegistry.h"

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (!std::getenv("XDG_RUNTIME_DIR")) {
    const QString runtime = QDir::temp().filePath("qx25-ui-tests-runtime");
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
  }
  QApplication app(argc, argv);
  // The first argument names a test class; the rest go to Qt Test.
  std::string only;
  if (argc > 1 && argv[1][0] != '-') {
    only = argv[1];
    for (int i = 1; i + 1 < argc; ++i) argv[i] = argv[i + 1];
    --argc;
  }
  int failed = 0;
  for (const auto& [name, make] : TestClasses()) {
    if (!only.empty() && name != only) continue;
    const auto test = make();
    failed += QTest::qExec(test.get(), argc, argv);
  }
  if (!only.empty() && TestClasses().count(only) == 0) {
    std::fprintf(stderr, "no test class %s\n", only.c_str());
    return 2;
  }
  return failed == 0 ? 0 : 1;
}
