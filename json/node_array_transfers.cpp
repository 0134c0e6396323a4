// NodeArray: reading texts in place, and moving and copying records between
// two arrays.
#include "json/node_array.h"

#include <utility>

namespace json {

std::string_view NodeArray::name_view(std::size_t i, char (&scratch)[24]) const {
  const Record& r = records_[i];
  if (r.name_kind == kNameText) return text_at(r.name);
  std::string formatted;
  append_name(i, formatted);
  return std::string_view(scratch, formatted.copy(scratch, sizeof scratch));
}

std::string_view NodeArray::value_view(std::size_t i, char (&scratch)[24]) const {
  const Record& r = records_[i];
  if (r.value_kind == kValueText) return text_at(r.value);
  std::string formatted;
  append_value(i, formatted);
  return std::string_view(scratch, formatted.copy(scratch, sizeof scratch));
}

NodeArray::Record NodeArray::adopt(const Record& r, const NodeArray& from) {
  Record out = r;
  // Element names and summaries live in the record itself; only texts move.
  if (r.name_kind == kNameText) out.name = store(from.text_at(r.name));
  if (r.value_kind == kValueText) out.value = store(from.text_at(r.value));
  return out;
}

void NodeArray::append_copies(const NodeArray& source, std::size_t first, std::size_t count) {
  if (&source == this) {
    // store() may move the arena the source texts are read from.
    const NodeArray snapshot(source);
    append_copies(snapshot, first, count);
    return;
  }
  if (records_.empty() && first == 0 && count == source.records_.size()) {
    *this = source;  // the whole array: records and arena copied at once
    return;
  }
  records_.reserve(records_.size() + count);
  // Room for about the run's share of the source's texts, so the arena does not
  // regrow text by text.
  if (!source.records_.empty())
    texts_.reserve(texts_.size() + source.texts_.size() / source.records_.size() * count);
  for (std::size_t k = 0; k < count; ++k)
    records_.push_back(adopt(source.records_[first + k], source));
}

void NodeArray::append_zero_records(std::size_t count) {
  records_.resize(records_.size() + count, Record{0, 0, 0, 0, 0, kNameText, kValueText});
}

void NodeArray::exchange_records(std::size_t first, NodeArray& other, std::size_t other_first,
                                 std::size_t count) {
  if (&other == this) {
    // One arena: the records simply trade places.
    for (std::size_t k = 0; k < count; ++k)
      std::swap(records_[first + k], records_[other_first + k]);
    return;
  }
  for (std::size_t k = 0; k < count; ++k) {
    Record& mine = records_[first + k];
    Record& theirs = other.records_[other_first + k];
    const Record mine_there = other.adopt(mine, *this);
    const Record theirs_here = adopt(theirs, other);
    mine = theirs_here;
    theirs = mine_there;
  }
}

}  // namespace json
