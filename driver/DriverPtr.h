// The one owner type of a driver that GetQX25 made, for the tools, the host
// program, the benchmarks, the fuzz targets and the tests.
//
// The host frees a driver with delete. TQX25 has no virtual destructor: its
// table holds exactly the 27 operations a host calls by slot, so deleting
// through TQX25* is right only for the exact type, which GetQX25 makes.
#pragma once

#include <memory>

#include "driver/QX25.h"

inline void FreeDriver(TQX25* Driver) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdelete-non-virtual-dtor"
  delete Driver;
#pragma GCC diagnostic pop
}

struct DriverDeleter {
  void operator()(TQX25* Driver) const { FreeDriver(Driver); }
};
using DriverPtr = std::unique_ptr<TQX25, DriverDeleter>;
