// The request form and the JSON answer of the category service.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalog.h"

namespace category_service {

// The values of the form field "ids[]" in an application/x-www-form-urlencoded
// body, in order (names and values percent-decoded, "+" read as a space).
// nullopt when the body has no such field or holds a percent sign that is not
// followed by two hexadecimal digits.
std::optional<std::vector<std::string>> parse_ids(std::string_view body);

// A JSON string literal of a UTF-8 text, every character outside printable
// ASCII written as \uXXXX (lower-case hex; UTF-16 surrogate pairs above U+FFFF).
std::string json_string(std::string_view utf8);

// The answer for these ids: a JSON array with one object per known id, in the
// order asked, each {"cat_id":...,"cat_name":...,"id":...}; "[]" when none is known.
std::string answer_json(const Catalog& catalog, const std::vector<std::string>& ids);

}  // namespace category_service
