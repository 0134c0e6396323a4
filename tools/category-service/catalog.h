// The products the category service knows, read from a tab-separated file.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace category_service {

// One product and its category. Texts are UTF-8.
struct Product {
  std::string id;
  std::string cat_id;
  std::string cat_name;
};

class Catalog {
 public:
  // Lines of "id<TAB>cat_id<TAB>cat_name"; blank lines and lines starting
  // with "#" are skipped, CR LF line ends accepted. nullopt when a line does
  // not have exactly three non-empty fields or an id repeats.
  static std::optional<Catalog> parse(std::string_view tsv);
  // parse() of a file's content; nullopt when it cannot be read.
  static std::optional<Catalog> load(const std::string& path);

  // The product with this id, or nullptr.
  const Product* find(std::string_view id) const;
  size_t size() const { return by_id_.size(); }

 private:
  std::unordered_map<std::string, Product> by_id_;
};

}  // namespace category_service
