#include "catalog.h"

#include <fstream>
#include <sstream>
#include <vector>

namespace category_service {
namespace {

// The pieces of `line` between tabs.
std::vector<std::string_view> fields(std::string_view line) {
  std::vector<std::string_view> out;
  for (;;) {
    const size_t tab = line.find('\t');
    out.push_back(line.substr(0, tab));
    if (tab == std::string_view::npos) return out;
    line.remove_prefix(tab + 1);
  }
}

}  // namespace

std::optional<Catalog> Catalog::parse(std::string_view tsv) {
  Catalog catalog;
  while (!tsv.empty()) {
    const size_t nl = tsv.find('\n');
    std::string_view line = tsv.substr(0, nl);
    tsv.remove_prefix(nl == std::string_view::npos ? tsv.size() : nl + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;

    const auto f = fields(line);
    if (f.size() != 3 || f[0].empty() || f[1].empty() || f[2].empty()) return std::nullopt;
    Product p{std::string(f[0]), std::string(f[1]), std::string(f[2])};
    if (!catalog.by_id_.emplace(p.id, p).second) return std::nullopt;
  }
  return catalog;
}

std::optional<Catalog> Catalog::load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return parse(content.str());
}

const Product* Catalog::find(std::string_view id) const {
  const auto it = by_id_.find(std::string(id));
  return it == by_id_.end() ? nullptr : &it->second;
}

}  // namespace category_service
