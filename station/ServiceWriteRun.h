// The service window's write-all as the console's quit sees it. The window
// belongs to the driver library, which the console does not link: it is found
// by its object name and asked through its invokable methods.
#pragma once

class QMainWindow;

namespace qx25::station {

// True when the quit must wait: a write-all of a service window (open, or
// closed with its run going on) is under way, and the operator is asked
// whether to stop it. If the operator stops it, the run ends after the write
// in flight, the status line (and the log) say how far it got, and Window is
// asked to close again.
bool QuitWaitsForServiceWrite(QMainWindow& Window);

}  // namespace qx25::station
