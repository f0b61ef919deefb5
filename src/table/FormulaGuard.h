#pragma once

#include <string>
#include <string_view>

namespace vexalo {

// Whether cells leave the program for a spreadsheet made inert: the values
// are what customers typed, and a spreadsheet runs a cell that starts like a
// formula (a link that leaks the sheet, a command) when the file is opened.
enum class FormulaGuard { kOff, kOn };

// Whether a spreadsheet would read `cell` as a formula: it begins with "=",
// "+", "-", "@", a tab or a CR, and is not a plain decimal number ("-2",
// "-1.5"), which stays a number.
bool StartsLikeFormula(std::string_view cell);

// Appends `cell` to `out`, behind a "'" when the guard is on and the cell
// starts like a formula: the spreadsheet then shows it as the text it was.
void AppendGuarded(std::string& out, std::string_view cell, FormulaGuard guard);

}  // namespace vexalo
