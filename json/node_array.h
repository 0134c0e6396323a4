// NodeArray: the compact store behind JsonDocument::nodes, and the type of every
// array of node records a caller hands to the document.
//
// A record is 20 bytes: its depth, type and container byte, and two references
// for its texts. A name or value text lives in one shared byte arena, each text
// preceded by its length (LEB128), so a record names it by one 32-bit offset.
// Two kinds of text are not stored at all but made when read: an array
// element's name "[k]" (the record holds k) and a container's summary "{ n }" or
// "[ n ]" (the record holds n). Both read exactly like the stored texts would.
//
// Positions are 0-based here; JsonDocument's node numbers are these plus 1.
// Texts set on a record are appended to the arena; the bytes of a text that is
// replaced stay there until the array is cleared (a copy carries them along).
// The arena holds at most 4 GiB; a text that would not fit reads as "".
// Copying is deep, moving and swap() are cheap. Not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace json {

// The node record handed out and taken in by JsonDocument: a copy that owns its
// texts. A null text reads as "".
struct JsonNode {
  std::string name;            // member name as written, "[k]" for an element, "" for the root
  std::string value;           // scalar text as written, or the summary of a container
  int depth = 0;               // 1 for the root, children one deeper
  int type = 0;                // NodeType
  std::uint8_t container = 0;  // Container

  bool operator==(const JsonNode&) const = default;
};

// Type codes of a node.
enum NodeType : int {
  kUnclassified = 0,  // a bare word that is no number, true, false or null
  kNumber = 1,
  kString = 2,  // value is the text between the quotes, escapes undecoded
  kBoolean = 3,
  kObject = 4,  // value is "{ n }"
  kArray = 5,   // value is "[ n ]"
  kNull = 6,    // value is "null", or "" for a value left empty
};

// What holds a node: the container byte of a record.
enum Container : std::uint8_t {
  kRoot = 0,
  kMember = 4,   // a member of an object, named by its name
  kElement = 5,  // an element of an array, named [k]
};

// Which summary a container's value text is.
enum class Summary : std::uint8_t { object, array };

class NodeArray {
 public:
  NodeArray();

  std::size_t size() const { return records_.size(); }
  bool empty() const { return records_.empty(); }
  // Drops every record and text.
  void clear();
  // Room for `records` records and `text_bytes` bytes of text, to spare regrowth.
  void reserve(std::size_t records, std::size_t text_bytes);
  // Exchanges the contents of two arrays without copying records.
  void swap(NodeArray& other) noexcept;

  // Whole records, copied out and in.
  JsonNode get(std::size_t i) const;
  void set(std::size_t i, const JsonNode& node);
  void push_back(const JsonNode& node);
  // Appends a record with empty texts; returns the new size.
  std::size_t add(int depth, int type, std::uint8_t container);

  // Fields of record i (i < size()).
  std::string name(std::size_t i) const;
  std::string value(std::size_t i) const;
  void append_name(std::size_t i, std::string& out) const;
  void append_value(std::size_t i, std::string& out) const;
  bool name_equals(std::size_t i, std::string_view text) const;
  bool value_is_empty(std::size_t i) const;
  int depth(std::size_t i) const { return records_[i].depth; }
  int type(std::size_t i) const { return records_[i].type; }
  std::uint8_t container(std::size_t i) const { return records_[i].container; }

  void set_depth(std::size_t i, int depth) { records_[i].depth = depth; }
  void set_type(std::size_t i, int type) { records_[i].type = type; }
  void set_container(std::size_t i, std::uint8_t c) { records_[i].container = c; }
  void set_name(std::size_t i, std::string_view text);
  void set_element_name(std::size_t i, int k);  // reads "[k]"
  void set_value(std::size_t i, std::string_view text);
  void set_summary(std::size_t i, Summary kind, int count);  // reads "{ n }" / "[ n ]"

  // Bytes the arena holds, the empty text at its start included.
  std::size_t text_bytes() const { return texts_.size(); }

  // Record i's name or value as a view, for reading many texts without copies:
  // a stored text is viewed in the arena (valid until the array next changes),
  // an element name or a summary is formatted into `scratch`.
  std::string_view name_view(std::size_t i, char (&scratch)[24]) const;
  std::string_view value_view(std::size_t i, char (&scratch)[24]) const;

  // ---- transfers between two arrays (node_array_transfers.cpp) ----
  // A record's texts live in its array's arena, so a record that changes arrays
  // takes its texts along into the arena of the array that now holds it.

  // Appends deep copies of `count` records of `source`, from position `first` on.
  void append_copies(const NodeArray& source, std::size_t first, std::size_t count);
  // Appends `count` all-zero records: empty texts, depth, type and container 0.
  void append_zero_records(std::size_t count);
  // Exchanges this array's records first .. first+count-1 with `other`'s
  // other_first .. other_first+count-1, pair by pair; every record keeps its
  // fields and texts. Both ranges must lie inside their arrays.
  void exchange_records(std::size_t first, NodeArray& other, std::size_t other_first,
                        std::size_t count);

 private:
  enum NameKind : std::uint8_t { kNameText, kNameIndex };
  enum ValueKind : std::uint8_t { kValueText, kValueObjectSummary, kValueArraySummary };
  struct Record {
    std::uint32_t name;   // arena offset, or the element index
    std::uint32_t value;  // arena offset, or the child count of a summary
    std::int32_t depth;
    std::int32_t type;
    std::uint8_t container;
    std::uint8_t name_kind;
    std::uint8_t value_kind;
  };

  std::uint32_t store(std::string_view text);
  // `r`, a record of `from` (another array), with its texts stored in this arena.
  Record adopt(const Record& r, const NodeArray& from);
  std::string_view text_at(std::uint32_t offset) const;

  std::vector<Record> records_;
  std::string texts_;  // length-prefixed texts; offset 0 is the empty text
};

}  // namespace json
