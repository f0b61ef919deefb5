#include "run/ColumnsByName.h"

#include <unordered_map>

namespace vexalo {

namespace {

struct NameColumns {
  std::vector<int> columns;  // left to right
  size_t used = 0;           // by the items of this message so far
};

}  // namespace

NamedColumns PlaceItemsByName(const std::vector<std::string_view>& titles,
                              const ParsedMessage& items) {
  std::unordered_map<std::string_view, NameColumns> byName;
  byName.reserve(titles.size() + items.names.size());
  for (size_t col = 0; col < titles.size(); ++col) {
    byName[titles[col]].columns.push_back(static_cast<int>(col));
  }
  NamedColumns placed;
  placed.itemColumns.assign(items.names.size(), -1);
  auto bare = items.bareLines.begin();
  for (size_t item = 0; item < items.names.size(); ++item) {
    while (bare != items.bareLines.end() && *bare < item) ++bare;
    if (bare != items.bareLines.end() && *bare == item) continue;
    const std::string_view name = items.names[item];
    NameColumns& known = byName[name];
    if (known.used == known.columns.size()) {
      const size_t next = titles.size() + placed.newTitles.size();
      if (next >= static_cast<size_t>(kMaxItemsPerMessage)) continue;
      known.columns.push_back(static_cast<int>(next));
      placed.newTitles.push_back(name);
    }
    placed.itemColumns[item] = known.columns[known.used++];
  }
  return placed;
}

}  // namespace vexalo
