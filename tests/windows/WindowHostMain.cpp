// qx25-winhost: the Windows host to try the service window with.
//
//   qx25-winhost PORT                 the station's window; "ТРК" ->
//                                     "Программирование параметров
//                                     наливной" opens the window, whose
//                                     "№ СОМ-порта" starts at PORT
//   qx25-winhost --test PORT DIR      drives the window by messages against
//                                     a simulator on COM PORT; screenshots
//                                     and the saved file go to DIR
//
// Exits 0 on success, 1 on a failure (said on stderr), 2 on bad arguments.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <exception>
#include <string>
#include <thread>

#include "WindowHost.h"
#include "WindowTest.h"

int wmain(int argc, wchar_t** argv) {
  const bool test = argc == 4 && std::wstring(argv[1]) == L"--test";
  if (argc != 2 && !test) {
    std::fprintf(stderr, "usage: qx25-winhost PORT\n       qx25-winhost --test PORT DIR\n");
    return 2;
  }
  const int port = _wtoi(argv[test ? 2 : 1]);
  if (port < 1 || port > 24) return 2;
  try {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    TWindowHost host;
    host.Open();
    if (!test) return host.Run();
    TWindowTest run(host, port, argv[3], GetCurrentThreadId());
    std::thread driver([&run] { run.All(); });
    host.Run();
    driver.join();
    return run.Failures() == 0 ? 0 : 1;
  } catch (const std::exception& Error) {
    std::fprintf(stderr, "qx25-winhost: %s\n", Error.what());
    return 1;
  }
}
