// Work a hidden view puts off until it is shown: the view marks itself
// behind, and catches up at once when shown.
#pragma once

#include <functional>

class QWidget;

namespace qx25::station {

// Calls Then each time Watched is shown (its tab chosen, its window opened).
// Lives as long as Watched.
void WhenShown(QWidget& Watched, std::function<void()> Then);

}  // namespace qx25::station
