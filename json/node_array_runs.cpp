// NodeArray: moving a run of records to another place in the same array. The
// records' texts stay where they are in the arena; only the slots move.
#include <vector>

#include "json/node_array.h"

namespace json {

NodeArray::Slot NodeArray::slot(std::size_t i) const {
  const Block& b = block(i);
  const std::size_t j = i & (kBlock - 1);
  Slot s;
  s.name = b.name[j];
  s.value = b.value[j];
  s.depth = b.depth[j];
  s.flags = b.flags[j];
  if (s.depth == kWideDepth) s.wide = b.wide[j];
  return s;
}

void NodeArray::put_slot(std::size_t i, const Slot& s) {
  Block& b = block(i);
  const std::size_t j = i & (kBlock - 1);
  b.name[j] = s.name;
  b.value[j] = s.value;
  b.flags[j] = s.flags;
  if (s.depth == kWideDepth) {
    set_wide(b, j, s.wide.depth, s.wide.type, s.wide.container);
  } else {
    b.depth[j] = s.depth;
  }
}

void NodeArray::rotate(std::size_t first, std::size_t middle, std::size_t last) {
  if (!(first < middle && middle < last && last <= size_)) return;
  // The shorter run waits aside while the longer one slides over its place.
  const std::size_t left = middle - first;
  const std::size_t right = last - middle;
  if (left <= right) {
    std::vector<Slot> aside(left);
    for (std::size_t k = 0; k < left; ++k)
      aside[k] = slot(first + k);
    for (std::size_t i = middle; i < last; ++i)
      move_record(i, i - left);
    for (std::size_t k = 0; k < left; ++k)
      put_slot(last - left + k, aside[k]);
  } else {
    std::vector<Slot> aside(right);
    for (std::size_t k = 0; k < right; ++k)
      aside[k] = slot(middle + k);
    for (std::size_t i = middle; i-- > first;)
      move_record(i, i + right);
    for (std::size_t k = 0; k < right; ++k)
      put_slot(first + k, aside[k]);
  }
}

}  // namespace json
