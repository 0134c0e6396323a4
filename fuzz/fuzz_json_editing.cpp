// Fuzzes node editing. The input is a document, a 0x01 byte, then edits, each
// four bytes and a text: the operation, the node (its number modulo the node
// count plus 2, so that none and one past the end come up; with the top bit
// set the text is used as a path instead, except by replace_with_json_text), a small number (a
// position, type or escape option from -2 to 13, its top three bits leaving out optional
// arguments), a text length, and that many bytes of text (a value, a name, a
// JSON text or a path). A document beginning with 0x03 is read in top-level
// naming mode.
//
// A document that parses into a well-formed store is edited; after every edit
// the store must still be well formed, and an edit that reports failure must
// have left it unchanged.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "json/json_document.h"
#include "json/json_module.h"
#include "json/node_array.h"
#include "tests/json/store_validator.h"
#include "text/text_rules.h"

namespace {

void check_well_formed(const json::JsonDocument& d, const char* after) {
  const std::string fault = json_test::store_fault(d);
  if (fault.empty()) return;
  std::fprintf(stderr, "after %s: %s\n", after, fault.c_str());
  std::abort();
}

std::vector<json::JsonNode> records(const json::JsonDocument& d) {
  std::vector<json::JsonNode> out;
  for (int n = 1; n <= d.node_count(); ++n)
    out.push_back(d.get_node("", n));
  return out;
}

// Reads the edits one by one.
class Reader {
 public:
  explicit Reader(std::string_view data) : data_(data) {}
  bool done() const { return at_ >= data_.size(); }
  std::uint8_t byte() { return at_ < data_.size() ? static_cast<std::uint8_t>(data_[at_++]) : 0; }
  std::string_view text(std::size_t n) {
    const std::string_view t = data_.substr(at_ < data_.size() ? at_ : data_.size(), n);
    at_ += t.size();
    return t;
  }

 private:
  std::string_view data_;
  std::size_t at_ = 0;
};

constexpr int kMaxNodes = 20000;  // self-replacement doubles a document; stop growing there

// An array index spelled by a name pads an array with that many nulls; names
// that spell larger ones are left out so that a run stays within memory.
// (A text ends at its first zero byte.)
bool modest_index(std::string_view name) {
  return json::parse_index_text(textops::until_zero(name)) <= 1000;
}

// The name replace_with_json_text would keep: that of the parsed text's first node.
std::string name_kept_from(std::string_view text) {
  json::JsonDocument parsed;
  if (parsed.parse_text(text, true, true) != 0 || parsed.node_count() == 0) return "";
  return parsed.get_node("", 1).name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  const bool top_level_naming = !input.empty() && input[0] == '\x03';
  if (top_level_naming) input.remove_prefix(1);
  const std::size_t cut = input.find('\x01');
  const std::string_view document = input.substr(0, cut);
  Reader edits(cut == std::string_view::npos ? std::string_view() : input.substr(cut + 1));

  json::JsonDocument d;
  d.parse_text(document, false, top_level_naming);
  d.close_open_containers();
  if (!json_test::store_fault(d).empty()) return 0;  // edits promise nothing for such a store

  for (int step = 0; step < 64 && !edits.done(); ++step) {
    const std::uint8_t op = edits.byte() % 8;
    const std::uint8_t select = edits.byte();
    const std::uint8_t number = edits.byte();
    const std::string text(edits.text(edits.byte() % 48));
    const int count = d.node_count();
    const bool by_path = (select & 0x80) != 0;
    const std::string_view path = by_path ? std::string_view(text) : std::string_view();
    const int node = by_path ? 0 : (select & 0x7F) % (count + 2);
    const int small = (number & 0x1F) % 16 - 2;

    const std::vector<json::JsonNode> before = records(d);
    bool changed = true;
    const char* what = "";
    switch (op) {
      case 0:
        what = "set_value";
        changed = d.set_value(path, node, text, small, (number >> 5) - 2);
        break;
      case 1:
        what = "rename_node";
        if (!modest_index(text)) continue;
        changed = d.rename_node(path, node, text, (number >> 5) - 2);
        break;
      case 2: {
        what = "add_member";
        const std::optional<int> node_number =
            (number & 0x80) ? std::nullopt : std::optional<int>(node);
        const std::optional<int> position =
            (number & 0x40) ? std::nullopt : std::optional<int>(small);
        const std::optional<std::string_view> name =
            (number & 0x20) ? std::nullopt : std::optional<std::string_view>(text);
        if (!position && name && !modest_index(*name)) continue;
        changed = d.add_member(path, node_number, position, name) != 0;
        break;
      }
      case 3:
        what = "remove_node";
        changed = d.remove_node(path, node);
        break;
      case 4:
        what = "replace_with_json_text";
        changed = d.replace_with_json_text("", node, text,
                                           (number & 1) != 0 && modest_index(name_kept_from(text)));
        break;
      case 5: {
        what = "replace_with_document";
        if ((number & 2) && count <= kMaxNodes) {
          const bool keep =
              (number & 1) != 0 && (count == 0 || modest_index(d.get_node("", 1).name));
          changed = d.replace_with_document(path, node, d, keep);
        } else {
          json::JsonDocument source;
          source.parse_text(text, false, (number & 4) != 0);
          source.close_open_containers();
          if (!json_test::store_fault(source).empty()) continue;
          const bool keep = (number & 1) != 0 &&
                            (source.node_count() == 0 || modest_index(source.get_node("", 1).name));
          changed = d.replace_with_document(path, node, source, keep);
        }
        break;
      }
      case 6: {
        what = "copy_to_document";
        json::JsonDocument target;
        target.parse_text("[1,2]");
        const int copied = d.copy_to_document(path, node, target);
        if (copied != 0) check_well_formed(target, what);
        if (copied != target.node_count() && copied != 0) std::abort();
        changed = false;  // this document is unchanged either way
        break;
      }
      default: {
        what = "to_json_text";
        std::string out;
        d.to_json_text(path, node, out, (number & 1) != 0);
        changed = false;
        break;
      }
    }
    check_well_formed(d, what);
    if (!changed && records(d) != before) {
      std::fprintf(stderr, "%s reported no change but changed the store\n", what);
      std::abort();
    }
  }
  return 0;
}
