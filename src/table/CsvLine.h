#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace vexalo {

// Splits one line of a data file into its trimmed fields (views into `line`),
// the way both loaders read them: cut at each comma, bytes
// 0x00-0x20 removed from both ends of every field, and a line that ends in a
// comma followed by nothing but blanks loses that last empty field (so "a,b,"
// gives two fields and "a,b,," three). An empty line gives one empty field.
// There is no quoting: double quotes are ordinary bytes.
//
// At most `maxFields` fields come out; the last one then keeps the rest of the
// line, commas and all, so no byte of the line is dropped.
void SplitCsvLine(std::string_view line, size_t maxFields, std::vector<std::string_view>& fields);

// CR, LF and 0x1A inside a line would cut it, or the whole file, when it is
// read back: each in [begin, end) becomes a blank.
void BlankLineBreakers(char* begin, char* end);

}  // namespace vexalo
