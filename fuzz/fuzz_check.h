// The one assertion the fuzz targets make: a broken invariant aborts, so the
// fuzzer records the input and the replay under CTest fails.
#pragma once

#include <cstdlib>

inline void check(bool ok) {
  if (!ok) std::abort();
}
