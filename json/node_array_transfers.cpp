// NodeArray: reading texts in place, and moving and copying records between
// two arrays.
#include <utility>

#include "json/node_array.h"

namespace json {

std::string_view NodeArray::name_view(std::size_t i, char (&scratch)[24]) const {
  return text_of(i, true, scratch);
}

std::string_view NodeArray::value_view(std::size_t i, char (&scratch)[24]) const {
  return text_of(i, false, scratch);
}

std::size_t NodeArray::text_bytes() const {
  std::size_t total = 0;
  for (const Chunk& c : chunks_)
    total += c.used;
  return total;
}

NodeArray::Loose NodeArray::loose(std::size_t i) const {
  const Block& b = block(i);
  const std::size_t j = i & (kBlock - 1);
  Loose r;
  r.depth = depth(i);
  r.type = type(i);
  r.container = container(i);
  r.name_is_index = (b.flags[j] & kNameIndex) != 0;
  if (r.name_is_index) {
    r.index = b.name[j];
  } else {
    r.name = std::string(text_at(b.name[j]));
  }
  r.value_kind = (b.flags[j] & kValueMask) >> kValueShift;
  if (r.value_kind == kValueObjectSummary || r.value_kind == kValueArraySummary) {
    r.count = b.value[j];
  } else {
    char scratch[24];
    r.value = std::string(text_of(i, false, scratch));
  }
  return r;
}

void NodeArray::set_loose(std::size_t i, const Loose& r) {
  Block& b = block(i);
  const std::size_t j = i & (kBlock - 1);
  // Start from a plain record, so no earlier wide fields or kinds remain.
  b.depth[j] = 0;
  b.flags[j] = 0;
  set_depth(i, r.depth);
  set_type(i, r.type);
  set_container(i, r.container);
  if (r.name_is_index) {
    set_element_name(i, static_cast<int>(r.index));
  } else {
    set_name(i, r.name);
  }
  if (r.value_kind == kValueObjectSummary || r.value_kind == kValueArraySummary) {
    set_summary(i, r.value_kind == kValueObjectSummary ? Summary::object : Summary::array,
                static_cast<int>(r.count));
  } else {
    set_value(i, r.value);  // a plain number is packed again
  }
}

void NodeArray::append_copies(const NodeArray& source, std::size_t first, std::size_t count) {
  if (&source != this && size_ == 0 && first == 0 && count == source.size_) {
    *this = source;  // the whole array: records and texts copied at once
    return;
  }
  for (std::size_t k = 0; k < count; ++k) {
    const Loose r = source.loose(first + k);
    add(0, 0, 0);
    set_loose(size_ - 1, r);
  }
}

void NodeArray::append_zero_records(std::size_t count) {
  for (std::size_t k = 0; k < count; ++k)
    add(0, 0, 0);
}

void NodeArray::exchange_records(std::size_t first, NodeArray& other, std::size_t other_first,
                                 std::size_t count) {
  for (std::size_t k = 0; k < count; ++k) {
    const Loose mine = loose(first + k);
    const Loose theirs = other.loose(other_first + k);
    set_loose(first + k, theirs);
    other.set_loose(other_first + k, mine);
  }
}

}  // namespace json
