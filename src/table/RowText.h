#pragma once

#include <string>
#include <string_view>

namespace vexalo {

// A message's id as column 1 and AllData.csv hold it: a comma in a server's
// id would split the line, so it gets full-width commas like any item.
std::string StoredId(std::string_view msgUidl);

// Starts the AllData.csv line of a taken message: its run stamp and its
// stored id, the two cells every row begins with.
void BeginRowText(std::string& rowText, std::string_view runStamp, std::string_view storedId);

}  // namespace vexalo
