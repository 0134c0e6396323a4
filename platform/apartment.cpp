#include "platform/apartment.h"

#include <algorithm>

namespace platform {
namespace {
thread_local int depth = 0;
thread_local int peak = 0;
}  // namespace

void co_initialize() {
  ++depth;
  peak = std::max(peak, depth);
}

void co_uninitialize() {
  if (depth > 0) --depth;
}

int apartment_depth() {
  return depth;
}
int apartment_peak_depth() {
  return peak;
}
void reset_apartment_peak() {
  peak = depth;
}

}  // namespace platform
