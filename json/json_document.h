// JsonDocument: a JSON document held as a flat array of node records in
// document order, with the whole state of an incremental, byte-driven parser.
//
// Contents:
//   the store ........ node_store.cpp  creation, destruction (release), copy,
//                                      move, reset, resolve_node, debug_dump
//   the parser ....... parser.cpp      parse_text .. new_node, the seven state
//                                      handlers, the byte loop in both scans
//   the getters ...... getters.cpp     node_count, get_node, get_parse_status,
//                                      get_value, find_node
//   the serializer ... serializer.cpp  to_json_text
//   the tree walks ... walks.cpp       child_count .. node_path, record transfers
//   node editing ..... editing.cpp     set_value .. copy_to_document
//
// A node's number is its 1-based position in `nodes`; 0 stands for no node. A
// node's subtree is the node and the run of following nodes deeper than it.
// Texts are code page 936 byte strings. Every text or record handed out is a
// fresh copy owned by the caller. Nothing throws; an operation that selects no
// node gives the empty value of its result. One thread at a time per document.
//
// The virtual operations are declared in their fixed slot order.
//
// Node editing keeps the store well formed: document order, depths, array
// element names [0]..[n-1] in order and every container's summary { n } / [ n ].
// An edit that selects no node, or cannot be done, leaves the store as it was.
// No edit costs more than time linear in the document's size.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "json/node_array.h"
#include "json/rapid_string.h"
#include "text/bytes.h"

namespace json {

// Parser state codes, as kept on state_stack.
enum ParserState : std::uint8_t {
  kInObject = 1,     // 大括号: inside an object, between members
  kInArray = 2,      // 方括号: inside an array, between elements
  kMemberName = 3,   // 对象名_获取: reading a member name
  kAwaitColon = 4,   // 对象值_等待冒号: after a member name
  kAwaitValue = 5,   // 对象值_准备获取: before a member's or element's value
  kStringValue = 6,  // 对象值_获取文本: inside a quoted string value
  kBareValue = 7,    // 对象值_获取其他: inside a number, true, false or null
};

// How the byte loop reads its input. Both give the same store, status and
// positions for every input and every split of it.
enum class Scan {
  in_runs,         // runs of bytes that only collect or skip are taken at once
  byte_at_a_time,  // every byte goes through the handlers: the reference
};

class JsonDocument final {
 public:
  // Creation: no nodes, every number and flag 0, empty texts.
  JsonDocument();
  // Deep copy: a parse goes on in the copy exactly as in the source.
  JsonDocument(const JsonDocument& other);
  JsonDocument& operator=(const JsonDocument& other);
  // Moving is cheap and leaves the source as if just created.
  JsonDocument(JsonDocument&& other) noexcept;
  JsonDocument& operator=(JsonDocument&& other) noexcept;

  // ---- the operations, in slot order ----

  // release: frees every member (nodes, arrays, text buffer, message).
  virtual ~JsonDocument();
  // copy: a new document that is a deep copy of this one.
  virtual std::unique_ptr<JsonDocument> copy() const;
  // Number of nodes.
  virtual int node_count() const;
  // Replaces the caller's records by deep copies of all nodes; returns the node count.
  virtual int copy_all_nodes(NodeArray& target) const;
  // Exchanges the node store with the caller's array without copying; calling it
  // again with the same array restores both. Returns the size of `target` afterwards.
  virtual int 取全部节点_交换变量(NodeArray& target);
  // A copy of the record selected by path / node_number (see resolve_node); an
  // empty record when none. `found_number` receives the selected number, 0 included.
  virtual JsonNode get_node(std::string_view path = "", int node_number = 0,
                            int* found_number = nullptr) const;
  // Number of direct children of the selected node. With none selected, the
  // number of depth-1 nodes.
  virtual int child_count(std::string_view path = "", int node_number = 0,
                          int* found_number = nullptr) const;
  // Number of nodes below the selected container (0 for a scalar). With none
  // selected: 0 when `node_number` is omitted or the store is empty, else
  // node_count() - 1.
  virtual int descendant_count(std::string_view path = "",
                               std::optional<int> node_number = std::nullopt,
                               int* found_number = nullptr) const;
  // Empties `target` and fills it with deep copies of the selected node (unless
  // `include_self` is false) and its descendants; returns their number, 0 when
  // none is selected.
  virtual int copy_subtree(std::string_view path, int node_number, NodeArray& target,
                           bool include_self = true) const;
  // Moves the same records as copy_subtree into `target`'s first positions,
  // growing it with all-zero records when shorter (a longer one keeps its tail).
  // The store receives `target`'s former records in their places, each given the
  // depth of the node it replaces. Empties `target` and returns 0 when none is selected.
  virtual int take_subtree(std::string_view path, int node_number, NodeArray& target,
                           bool include_self = true);
  // error_code of the parse; the outputs given receive a copy of the message,
  // the byte position of the error (0 when none), its line (0-based) and column.
  virtual int get_parse_status(std::string* error_message = nullptr, int* error_position = nullptr,
                               int* line = nullptr, int* column = nullptr) const;
  // Value text of the selected node, "" when none (then `type` is left alone).
  // `type` receives the node's type. With `decode`: strings have their escapes
  // decoded, booleans are lowered, containers give their child count ("3").
  virtual std::string get_value(std::string_view path = "", int node_number = 0,
                                int* type = nullptr, bool decode = false,
                                int* found_number = nullptr) const;
  // Sets the selected node's value, first removing its descendants (a container
  // becomes a scalar; its name, place and parent's summary stay). `type` 1, 2 or
  // 3 (or a negative one) is stored as given with `value` unchanged; 0 or above
  // 3 keeps a string a string, otherwise detects the type on `value` without
  // spaces and lowered: number, true/false (boolean), else string, and stores
  // that normalised text. A string with `escape` > 0 is stored escaped
  // (encode_json_escapes; bit 2 adds \uXXXX, bit 4 escaped slashes). False when
  // no node is selected.
  virtual bool set_value(std::string_view path, int node_number, std::string_view value,
                         int type = 0, int escape = 1, int* found_number = nullptr);
  // Renames the selected node. A member's (or the root's) name is stored escaped
  // as in set_value unless `escape` is 0. An array element is instead moved,
  // with its subtree, to the index `new_name` names (parse_index_text: 5, [5]):
  // the elements between shift by one and are renumbered; an index beyond the
  // end pads the array with null elements. `found_number` receives the node's
  // number after the move. False, nothing changed, when no node is selected or
  // an element's new name is not an index.
  virtual bool rename_node(std::string_view path, int node_number, std::string_view new_name,
                           int escape = 1, int* found_number = nullptr);
  // Node number of the first node, from number `start` on, whose chain of names
  // from level 1 down matches the path's parts; 0 when none. With `relative` and
  // start >= 2 the search begins at node `start`, its first part taken as
  // matched. Paths: a.b, a[2].c, a.[2].c, [0].cat_name; "" names node 1.
  virtual int find_node(std::string_view path, int start = 0, bool relative = false) const;
  // Number of the selected node's ancestor `levels` up: the node itself for 0,
  // its parent for 1; 0 when there is none (a negative `levels` gives 0).
  virtual int get_parent(std::string_view path = "", int node_number = 0, int levels = 1,
                         int* found_number = nullptr) const;
  // Number of the selected node's direct child at 0-based `ordinal`; 0 when there
  // is none, none is selected or `node_number` is negative.
  virtual int get_child(std::string_view path, int node_number, int ordinal,
                        int* found_number = nullptr) const;
  // 0-based position of the selected node among its siblings; with none selected
  // -1 for the empty path, else 0.
  virtual int sibling_position(std::string_view path = "", int node_number = 0,
                               int* found_number = nullptr) const;
  // Writes the selected node and its subtree as JSON text into `text` (replacing
  // its content): compact, or with `pretty` laid out with CR LF and tabs. Stored
  // names and values are written as they are, never escaped. Returns the number
  // of nodes written; 0, `text` untouched, when none is selected.
  virtual int to_json_text(std::string_view path, int node_number, std::string& text,
                           bool pretty = false, int* found_number = nullptr) const;
  // Inserts a null member (object) or element (array) into the selected
  // container at `insert_position`; when that is omitted, at the index `name`
  // names (parse_index_text), else at the end. A member takes `name` as given
  // (unescaped, "" when omitted); an element is named [position], later
  // elements are renumbered, and a position beyond the end pads with null
  // elements. Returns the new node's number; 0 when the node is not a container,
  // the position is negative, or nothing is selected and `node_number` was
  // omitted. Nothing selected with `node_number` supplied: a null member at
  // depth 1 is added to the top level (the first node of an empty store).
  virtual int add_member(std::string_view path = "", std::optional<int> node_number = std::nullopt,
                         std::optional<int> insert_position = std::nullopt,
                         std::optional<std::string_view> name = std::nullopt);
  // Removes the selected node and its subtree; the parent's summary is
  // rewritten and the elements after a removed element renumbered. False when
  // none is selected.
  virtual bool remove_node(std::string_view path = "", int node_number = 0);
  // Replaces the selected node and its subtree by the tree of `json` (up to its
  // first zero byte), parsed strictly in top-level naming mode and completed.
  // The node keeps its name and place unless `keep_source_name` and the text is
  // a member ("b":[1,2]), whose name it then takes. False, store unchanged, when
  // none is selected, the text does not parse, or it stops where a member awaits
  // its value (so that it cannot be completed).
  virtual bool replace_with_json_text(std::string_view path, int node_number, std::string_view json,
                                      bool keep_source_name = false, int* found_number = nullptr);
  // Replaces the selected node and its subtree by a copy of node 1 of `source`
  // and its subtree, as replace_with_json_text does. False, store unchanged,
  // when none is selected or `source` is empty. `source` may be this document.
  virtual bool replace_with_document(std::string_view path, int node_number,
                                     const JsonDocument& source, bool keep_source_name = false,
                                     int* found_number = nullptr);
  // Resets `target` and gives it copies of the selected node and its subtree,
  // shifted to start at depth 1 (names and containers kept). Returns the number
  // of nodes copied; 0, `target` untouched, when none is selected.
  virtual int copy_to_document(std::string_view path, int node_number, JsonDocument& target) const;
  // Path of node `node_number` as find_node reads it, such as a.b[0].c; "" for
  // node 1 and for numbers out of range.
  virtual std::string node_path(int node_number) const;

  // Resets, then parses `text` (up to its first zero byte). Returns the error
  // code, 0 when none; lenient unless `strict`. Unfinished input gives 0.
  virtual int parse_text(std::string_view text, bool strict = false, bool top_level_naming = false);
  // Resets, then parses `bytes`, zero bytes included.
  virtual int parse_bytes(const Bytes& bytes, bool strict = false, bool top_level_naming = false);
  // Feeds further bytes to the running parse. `strict`, when given, switches
  // checking; `top_level_naming` counts only while the store has no nodes
  // (omitted counts as off). Returns the error code, 0 when none.
  virtual int 加入json字节集(const Bytes& bytes, std::optional<bool> strict = std::nullopt,
                             std::optional<bool> top_level_naming = std::nullopt);
  // Feeds further text (up to its first zero byte) to the running parse.
  virtual int add_json_text(std::string_view text, std::optional<bool> strict = std::nullopt,
                            std::optional<bool> top_level_naming = std::nullopt);
  // Whether the document has been read to its end (every bracket matched).
  virtual bool is_complete() const;
  // Completes what is still open (ends names and values, closes containers);
  // returns whether there was anything to complete.
  virtual bool close_open_containers();
  // Back to the state of a new document.
  virtual void reset();
  // `node_number` when it lies in 1..node_count(), else find_node(path), 0 when none.
  virtual int resolve_node(std::string_view path, int node_number) const;

  // The seven state handlers, each taking one byte.
  virtual void 大括号(std::uint8_t c);
  virtual void 对象名_获取(std::uint8_t c);
  virtual void 对象值_等待冒号(std::uint8_t c);
  virtual void 方括号(std::uint8_t c);
  virtual void 对象值_准备获取(std::uint8_t c);
  virtual void 对象值_获取其他(std::uint8_t c);
  virtual void 对象值_获取文本(std::uint8_t c);
  // A second value-start handler kept beside 对象值_准备获取: records no error,
  // reads "[" as a bare value, and sets no type for "{" or a quote. Unused.
  virtual void prepare_value_variant(std::uint8_t c);
  // Number of the innermost open node, 0 when none (errors 81, 82 when strict).
  virtual int 取当前节点索引();
  // Appends a node for state code 1, 3 or 5 and pushes the state and its number.
  virtual void new_node(int code);

  // ---- helpers outside the slot table ----

  // 加入json字节集 over any byte range, reading it as `scan` says.
  int feed(std::span<const std::uint8_t> bytes, std::optional<bool> strict = std::nullopt,
           std::optional<bool> top_level_naming = std::nullopt, Scan scan = Scan::in_runs);
  // Every member and node, one per line, for tests and debugging.
  std::string debug_dump() const;

 private:
  void record_error(int code, std::string message);
  void close_object();
  void close_array();
  std::size_t consume_run(const std::uint8_t* p, std::size_t n);
  std::size_t consume_tokens(const std::uint8_t* p, std::size_t n);
  void dispatch(std::uint8_t state, std::uint8_t c);

  // ---- members, in their fixed order ----
  NodeArray nodes;                        // the node store, node n at position n-1
  std::vector<int> 集_节点索引组;         // numbers of the open nodes, innermost last
  std::vector<std::uint8_t> state_stack;  // parser states, ParserState codes
  int comma_node_count = 0;               // node count after the last comma in an array
  std::vector<int> element_counters;      // per depth (element d at d-1): elements so far
  std::vector<int> member_counters;       // per depth (element d at d-1): members so far
  int current_depth = 0;                  // depth the next node receives
  bool escape_pending = false;            // last string byte was an unescaped backslash
  RapidString text_buffer;                // the name or value being read
  bool unquoted_name = false;             // the name being read began without a quote
  bool strict = false;                    // strict syntax checking
  int position = 0;                       // bytes consumed since the reset
  int error_position = 0;                 // position of the error, 0 when none
  int error_code = 0;                     // code of the error, 0 when none
  std::string error_message;              // its message, "" when none
  bool separator_seen = false;            // a bracket or comma, and no value since
  bool top_level_naming = false;          // the document is a list of members
  int line = 0;                           // line feeds consumed
  int column = 0;                         // bytes since the last line feed, CR not counted
};

}  // namespace json
