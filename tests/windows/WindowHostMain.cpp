// qx25-winhost: the Windows host to try the service window with.
//
//   qx25-winhost                      the station's window; "ТРК" ->
//                                     "Программирование параметров
//                                     наливной" opens the service window
//   qx25-winhost --test PORT DIR      drives the window by messages against
//                                     a simulator on COM PORT; screenshots
//                                     and the saved file go to DIR
//
// Exits 0 on success, 1 on a failure (said on stderr), 2 on bad arguments.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <cstdio>
#include <exception>
#include <string>
#include <thread>

#include "WindowHost.h"
#include "WindowTest.h"

int wmain(int argc, wchar_t** argv) {
  const bool test = argc == 4 && std::wstring(argv[1]) == L"--test";
  const int port = test ? _wtoi(argv[2]) : 1;
  if ((argc != 1 && !test) || port < 1 || port > 24) {
    std::fprintf(stderr, "usage: qx25-winhost\n       qx25-winhost --test PORT DIR\n");
    return 2;
  }
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
    if (run.SentAtHostGone >= 0 && host.Lines.Sent != run.SentAtHostGone) {
      std::fprintf(stderr, "FAILED: requests were sent after the host's window was gone\n");
      return 1;
    }
    return run.Failures() == 0 ? 0 : 1;
  } catch (const std::exception& Error) {
    std::fprintf(stderr, "qx25-winhost: %s\n", Error.what());
    return 1;
  }
}
