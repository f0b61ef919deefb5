#pragma once

#include <string_view>
#include <vector>

#include "mail/MessageParser.h"

namespace vexalo {

// Where the items of one message go when columns go by item name.
struct NamedColumns {
  // For each item, its column counted from the table's first item column;
  // -1 for a line that is no item, and for an item that would need a column
  // past the most a row can hold.
  std::vector<int> itemColumns;
  // Titles of the columns to add after the last one of the title row, in
  // this order (views into the message's names).
  std::vector<std::string_view> newTitles;
};

// Places each item under the column titled with its name. `titles` is the
// title row from the first item column on, one text per column (an untitled
// column holds the empty name). The k-th item of a name goes to the k-th
// column of that name, left to right; a name, or an occurrence of it, that
// has no column yet gets a new one at the end. Lines without the separator
// (ParsedMessage::bareLines) are no items. At most kMaxItemsPerMessage
// columns in all, so that every row still reads back from AllData.csv whole.
NamedColumns PlaceItemsByName(const std::vector<std::string_view>& titles,
                              const ParsedMessage& items);

}  // namespace vexalo
