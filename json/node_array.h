// NodeArray: the compact store behind JsonDocument::nodes, and the type of every
// array of node records a caller hands to the document.
//
// A record takes 10 bytes: two 32-bit references for its name and value texts,
// a depth byte and a byte holding the type, the container and the kinds of the
// two texts. A record whose depth, type or container does not fit there (a
// depth of 255 or more, say) keeps all three in a side array of its block, made
// when the block first needs it. A name or value text lives in a shared byte
// arena, each text preceded by its length (LEB128), so a record names it by one
// 32-bit offset. Records and texts are kept in blocks of moderate size rather
// than in single arrays that double: nothing is ever moved to grow, and a
// document's memory stays close to what it holds.
// Three kinds of text are not stored as written but made when read: an array
// element's name "[k]" (the record holds k), a container's summary "{ n }" or
// "[ n ]" (the record holds n), and a plain decimal number (a minus sign, up to
// 18 digits and a point), kept as a binary integer with the places of its sign
// and point. All read exactly like the stored texts would.
//
// Positions are 0-based here; JsonDocument's node numbers are these plus 1.
// Texts set on a record are appended to the arena; the bytes of a text that is
// replaced stay there until the array is cleared (a copy carries them along).
// The arena holds at most 4 GiB; a text that would not fit reads as "".
// Copying is deep, moving and swap() are cheap. Not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
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

  NodeArray(const NodeArray& other);
  NodeArray& operator=(const NodeArray& other);
  NodeArray(NodeArray&& other) noexcept;
  NodeArray& operator=(NodeArray&& other) noexcept;
  ~NodeArray();

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  // Drops every record and text.
  void clear();
  // Exchanges the contents of two arrays without copying records.
  void swap(NodeArray& other) noexcept;

  // Whole records, copied out and in.
  JsonNode get(std::size_t i) const;
  void set(std::size_t i, const JsonNode& node);
  void push_back(const JsonNode& node);
  // Appends a record with empty texts; returns the new size.
  std::size_t add(int depth, int type, std::uint8_t container) {
    const std::size_t j = size_ & (kBlock - 1);
    if (j == 0 && (size_ >> kBlockShift) == blocks_.size()) add_block();
    Block& b = *blocks_[size_ >> kBlockShift];
    b.name[j] = 0;
    b.value[j] = 0;
    const int code = container_code(container);
    if (depth >= 0 && depth < kWideDepth && type >= 0 && type < kWideType && code >= 0) {
      b.depth[j] = static_cast<std::uint8_t>(depth);
      b.flags[j] = static_cast<std::uint8_t>(type | code << kContainerShift);
    } else {
      b.depth[j] = 0;
      b.flags[j] = 0;
      set_wide(b, j, depth, type, container);
    }
    return ++size_;
  }

  // Fields of record i (i < size()).
  std::string name(std::size_t i) const;
  std::string value(std::size_t i) const;
  void append_name(std::size_t i, std::string& out) const;
  void append_value(std::size_t i, std::string& out) const;
  bool name_equals(std::size_t i, std::string_view text) const;
  bool value_is_empty(std::size_t i) const;
  int depth(std::size_t i) const {
    const Block& b = block(i);
    const std::size_t j = i & (kBlock - 1);
    return b.depth[j] == kWideDepth ? b.wide[j].depth : b.depth[j];
  }
  int type(std::size_t i) const {
    const Block& b = block(i);
    const std::size_t j = i & (kBlock - 1);
    return b.depth[j] == kWideDepth ? b.wide[j].type : b.flags[j] & kTypeMask;
  }
  std::uint8_t container(std::size_t i) const {
    const Block& b = block(i);
    const std::size_t j = i & (kBlock - 1);
    if (b.depth[j] == kWideDepth) return b.wide[j].container;
    static constexpr std::uint8_t kContainers[] = {kRoot, kMember, kElement, 0};
    return kContainers[(b.flags[j] & kContainerMask) >> kContainerShift];
  }

  void set_depth(std::size_t i, int depth) {
    Block& b = block(i);
    const std::size_t j = i & (kBlock - 1);
    if (b.depth[j] != kWideDepth && depth >= 0 && depth < kWideDepth) {
      b.depth[j] = static_cast<std::uint8_t>(depth);
    } else {
      set_wide(b, j, depth, type(i), container(i));
    }
  }
  void set_type(std::size_t i, int type) {
    Block& b = block(i);
    const std::size_t j = i & (kBlock - 1);
    if (b.depth[j] != kWideDepth && type >= 0 && type < kWideType) {
      b.flags[j] = static_cast<std::uint8_t>((b.flags[j] & ~kTypeMask) | type);
    } else {
      set_wide(b, j, depth(i), type, container(i));
    }
  }
  void set_container(std::size_t i, std::uint8_t c) {
    Block& b = block(i);
    const std::size_t j = i & (kBlock - 1);
    const int code = container_code(c);
    if (b.depth[j] != kWideDepth && code >= 0) {
      b.flags[j] =
          static_cast<std::uint8_t>((b.flags[j] & ~kContainerMask) | code << kContainerShift);
    } else {
      set_wide(b, j, depth(i), type(i), c);
    }
  }
  void set_name(std::size_t i, std::string_view text);
  void set_element_name(std::size_t i, int k) {  // reads "[k]"
    Block& b = block(i);
    const std::size_t j = i & (kBlock - 1);
    b.name[j] = static_cast<std::uint32_t>(k);
    b.flags[j] = static_cast<std::uint8_t>(b.flags[j] | kNameIndex);
  }
  void set_value(std::size_t i, std::string_view text);
  // set_value() for a text that is a plain decimal number (an optional minus
  // sign, then digits with at most one point between two of them); false, and
  // nothing changed, for any other text.
  bool set_plain_number(std::size_t i, std::string_view text);
  // The same for a number already read into its parts: the sign, the digits as
  // one integer, their count (1 to 18) and how many of them stand before the
  // point (0 when there is no point). False, and nothing changed, when the
  // parts describe no such text.
  bool set_plain_number(std::size_t i, bool minus, std::uint64_t digits, int count, int point);
  void set_summary(std::size_t i, Summary kind, int count) {  // reads "{ n }" / "[ n ]"
    Block& b = block(i);
    const std::size_t j = i & (kBlock - 1);
    b.value[j] = static_cast<std::uint32_t>(count);
    const int k = kind == Summary::object ? kValueObjectSummary : kValueArraySummary;
    b.flags[j] = static_cast<std::uint8_t>((b.flags[j] & ~kValueMask) | k << kValueShift);
  }

  // Inserts `count` records with empty texts before position `pos` (at most
  // size()), moving the later records back; removes `count` records from `pos`
  // on, moving the later ones forward.
  void insert_empty(std::size_t pos, std::size_t count);
  void erase(std::size_t pos, std::size_t count);
  // Exchanges records i of this array and j of `other` (texts included).
  void swap_record(std::size_t i, NodeArray& other, std::size_t j);

  // Record i's name or value as a view, for reading many texts without copies:
  // a stored text is viewed in the arena (valid until the array next changes),
  // an element name or a summary is formatted into `scratch`.
  std::string_view name_view(std::size_t i, char (&scratch)[24]) const;
  std::string_view value_view(std::size_t i, char (&scratch)[24]) const;
  // Bytes the stored texts take, a guide for sizing output.
  std::size_t text_bytes() const;

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

  // ---- moving runs within the array (node_array_runs.cpp) ----

  // Puts records middle .. last-1 before records first .. middle-1, as
  // std::rotate does: every record keeps its fields and texts (nothing is copied
  // into the arena). Linear in last - first; nothing happens unless
  // first < middle < last <= size().
  void rotate(std::size_t first, std::size_t middle, std::size_t last);

 private:
  // The flags byte: type (bits 0-2), container (3-4), name kind (5), value kind (6-7).
  static constexpr int kTypeMask = 0x07;
  static constexpr int kContainerShift = 3;
  static constexpr int kContainerMask = 0x18;
  static constexpr int kNameIndex = 0x20;  // the name is "[k]", k in the name field
  static constexpr int kValueShift = 6;
  static constexpr int kValueMask = 0xC0;
  enum ValueKind : int { kValueText, kValueObjectSummary, kValueArraySummary, kValueNumber };
  // A depth byte of 255 marks a record whose fields live in its block's side array;
  // type 7 does not fit the flags.
  static constexpr int kWideDepth = 255;
  static constexpr int kWideType = 7;

  static int container_code(std::uint8_t c) {
    return c == kRoot ? 0 : c == kMember ? 1 : c == kElement ? 2 : -1;
  }

  static constexpr std::size_t kBlockShift = 11;  // 2048 records, 20 KiB, per block
  static constexpr std::size_t kBlock = std::size_t{1} << kBlockShift;
  static constexpr std::size_t kPageShift = 16;  // text offsets are mapped by 64 KiB pages
  static constexpr std::size_t kPage = std::size_t{1} << kPageShift;

  struct Wide {
    std::int32_t depth;
    std::int32_t type;
    std::uint8_t container;
  };
  struct Block {
    std::uint32_t name[kBlock];   // arena offset, or the element index
    std::uint32_t value[kBlock];  // arena offset, or the child count of a summary
    std::uint8_t depth[kBlock];
    std::uint8_t flags[kBlock];
    std::unique_ptr<Wide[]> wide;  // made when a record of the block needs it
  };

  Block& block(std::size_t i) { return *blocks_[i >> kBlockShift]; }
  const Block& block(std::size_t i) const { return *blocks_[i >> kBlockShift]; }
  void add_block();
  void set_wide(Block& b, std::size_t j, int depth, int type, std::uint8_t container);
  // Copies record `from` over record `to`, texts referenced as they are.
  void move_record(std::size_t from, std::size_t to);
  // A record's slot contents, held aside while others move (rotate).
  struct Slot {
    std::uint32_t name = 0, value = 0;
    std::uint8_t depth = 0, flags = 0;
    Wide wide{};
  };
  Slot slot(std::size_t i) const;
  void put_slot(std::size_t i, const Slot& s);
  // Room for `size` bytes at the end of the arena; its offset, 0 when none.
  std::uint32_t reserve(std::size_t size, char*& out);
  std::uint32_t store(std::string_view text);
  // A record with its own copies of its texts, for carrying it to another array.
  struct Loose {
    int depth = 0;
    int type = 0;
    std::uint8_t container = 0;
    bool name_is_index = false;
    std::uint32_t index = 0;  // the element index when name_is_index
    int value_kind = kValueText;
    std::uint32_t count = 0;  // the child count of a summary
    std::string name, value;
  };
  Loose loose(std::size_t i) const;
  void set_loose(std::size_t i, const Loose& r);
  std::string_view text_at(std::uint32_t offset) const;
  std::string_view text_of(std::size_t i, bool name, char* scratch) const;

  // A block of text: `size` bytes, of which `used` are filled, mapped at pages
  // first_page.. of the offset space.
  struct Chunk {
    std::unique_ptr<char[]> bytes;
    std::size_t size = 0, used = 0, first_page = 0;
  };

  std::vector<std::unique_ptr<Block>> blocks_;
  std::size_t size_ = 0;
  std::vector<Chunk> chunks_;
  std::vector<char*> pages_;  // start of each 64 KiB page of the offset space
};

}  // namespace json
