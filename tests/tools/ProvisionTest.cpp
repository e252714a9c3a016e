// provision against a simulated station with faults laid out, and the shapes
// of the output scripts read.
#include <gtest/gtest.h>

#include "Spawn.h"

namespace {
}  // namespace
