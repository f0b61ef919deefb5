#include "table/FormulaGuard.h"

#include <cctype>

namespace vexalo {

namespace {

bool IsDigits(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

// "-2" and "-1.5" are amounts a form asks for; a quote would make them text.
bool IsPlainDecimal(std::string_view cell) {
  if (cell.starts_with('-')) cell.remove_prefix(1);
  const size_t point = cell.find('.');
  if (point == std::string_view::npos) return IsDigits(cell);
  return IsDigits(cell.substr(0, point)) && IsDigits(cell.substr(point + 1));
}

}  // namespace

bool StartsLikeFormula(std::string_view cell) {
  if (cell.empty()) return false;
  switch (cell.front()) {
    case '=':
    case '+':
    case '-':
    case '@':
    case '\t':
    case '\r':
      return !IsPlainDecimal(cell);
    default:
      return false;
  }
}

void AppendGuarded(std::string& out, std::string_view cell, FormulaGuard guard) {
  if (guard == FormulaGuard::kOn && StartsLikeFormula(cell)) out += '\'';
  out.append(cell);
}

}  // namespace vexalo
