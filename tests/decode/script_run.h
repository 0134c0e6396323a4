// Running statements through the "ScriptControl" server, for the decode tests.
#pragma once

#include <cstdio>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "automation/object.h"

namespace decode_test {

// Compiles `statement` in a fresh script object with the language "JScript" and
// runs the function `name`: its text, or nothing when the statement did not
// compile or defines no such function.
inline std::optional<std::u16string> run_script(std::u16string_view statement,
                                                std::u16string_view name = u"xx") {
  automation::Object script;
  if (!script.create("ScriptControl")) return std::nullopt;
  script.put("Language", "JScript");
  script.call("ExecuteStatement", automation::Variant(std::u16string(statement)));
  const automation::Variant result = script.call("Run", automation::Variant(std::u16string(name)));
  if (!result.is_text()) return std::nullopt;
  return result.wide();
}

// Whether calling the method `member` (lower case) succeeds: the handle's call
// gives an empty variant both for a failure and for a method without a result.
inline bool call_succeeds(const automation::Object& object, std::string_view member,
                          std::initializer_list<automation::Variant> args = {}) {
  const std::vector<automation::Variant> values(args);
  automation::Variant result;
  return object.server() &&
         object.server()->invoke(member, automation::Access::method, values, result);
}

// The statement the decoder builds around a literal's contents.
inline std::u16string decoder_statement(std::u16string_view literal) {
  return u"function xx(){var x='" + std::u16string(literal) + u"';return unescape(x);}";
}

// UTF-16 code units as four hex digits each, for messages and comparisons.
inline std::string hex_units(std::u16string_view text) {
  std::string out;
  char unit[5];
  for (const char16_t c : text) {
    std::snprintf(unit, sizeof unit, "%04x", static_cast<unsigned>(c));
    out += unit;
  }
  return out;
}

inline std::string describe(const std::optional<std::u16string>& result) {
  return result ? "text " + hex_units(*result) : "no result";
}

}  // namespace decode_test
