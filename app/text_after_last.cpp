#include "app/text_after_last.h"

#include "text/text_rules.h"

namespace app {

std::string text_after_last(std::string_view text, std::string_view marker,
                            std::optional<int> start_position, bool ignore_case) {
  text = textops::until_zero(text);
  marker = textops::until_zero(marker);

  // The search region: the whole text, or its first start_position - 1 bytes.
  int limit = -1;
  if (start_position) limit = *start_position > 1 ? *start_position - 1 : 0;

  const int p = textops::find_last(
      text, marker, ignore_case ? textops::Case::ignore : textops::Case::exact, limit);
  if (p < 1) return {};

  // Everything from the end of the occurrence to the end of the text.
  const auto after =
      static_cast<long long>(text.size()) - static_cast<long long>(marker.size()) - p + 1;
  if (after <= 0) return {};
  return std::string(text.substr(text.size() - static_cast<size_t>(after)));
}

}  // namespace app
