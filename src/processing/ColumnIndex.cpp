#include "processing/ColumnIndex.h"

#include <algorithm>
#include <functional>

namespace vexalo {

namespace {

constexpr int kInitialSlotBits = 4;

uint32_t HashText(std::string_view text) {
  const uint64_t wide = std::hash<std::string_view>{}(text);
  return static_cast<uint32_t>(wide ^ (wide >> 32));
}

}  // namespace

size_t ColumnIndex::HomeSlot(uint32_t hash) const {
  // The high bits, so that the slot stays derivable from the stored hash
  // alone when the table doubles.
  return hash >> (32 - slotBits_);
}

size_t ColumnIndex::FindSlot(std::string_view text, uint32_t hash, const CellSource& cells) const {
  const size_t mask = slots_.size() - 1;
  size_t index = HomeSlot(hash);
  // Ends: the table is never more than three quarters full.
  while (slots_[index].firstRow >= 0) {
    const Slot& slot = slots_[index];
    if (slot.hash == hash && cells.IndexedText(slot.firstRow) == text) return index;
    index = (index + 1) & mask;
  }
  return index;
}

void ColumnIndex::GrowIfFull() {
  if (!slots_.empty() && (usedSlots_ + 1) * 4 <= slots_.size() * 3) return;
  std::vector<Slot> old;
  old.swap(slots_);
  slotBits_ = old.empty() ? kInitialSlotBits : slotBits_ + 1;
  slots_.assign(size_t{1} << slotBits_, Slot{});
  const size_t mask = slots_.size() - 1;
  for (const Slot& slot : old) {
    if (slot.firstRow < 0) continue;
    size_t index = HomeSlot(slot.hash);
    while (slots_[index].firstRow >= 0) index = (index + 1) & mask;
    slots_[index] = slot;
  }
}

void ColumnIndex::FreeSlot(size_t index) {
  // Backward-shift deletion: later members of the probe run move up so that
  // no search stops early at the hole.
  const size_t mask = slots_.size() - 1;
  size_t hole = index;
  for (size_t next = (hole + 1) & mask; slots_[next].firstRow >= 0; next = (next + 1) & mask) {
    const size_t home = HomeSlot(slots_[next].hash);
    // Whether `home` lies cyclically in (hole, next]: then the entry must stay.
    const bool staysPut =
        hole <= next ? (hole < home && home <= next) : (hole < home || home <= next);
    if (staysPut) continue;
    slots_[hole] = slots_[next];
    hole = next;
  }
  slots_[hole] = Slot{};
  --usedSlots_;
}

int32_t ColumnIndex::NewRowList(int32_t first, int32_t second) {
  int32_t list;
  if (unusedRowLists_.empty()) {
    list = static_cast<int32_t>(rowLists_.size());
    rowLists_.emplace_back();
  } else {
    list = unusedRowLists_.back();
    unusedRowLists_.pop_back();
  }
  rowLists_[list] = {std::min(first, second), std::max(first, second)};
  return list;
}

void ColumnIndex::ReleaseRowList(int32_t list) {
  std::vector<int32_t>().swap(rowLists_[list]);
  unusedRowLists_.push_back(list);
}

void ColumnIndex::Add(std::string_view text, int32_t row, const CellSource& cells) {
  GrowIfFull();
  const uint32_t hash = HashText(text);
  Slot& slot = slots_[FindSlot(text, hash, cells)];
  if (slot.firstRow < 0) {
    slot = Slot{hash, row, -1};
    ++usedSlots_;
    return;
  }
  if (slot.rowList < 0) {
    if (slot.firstRow == row) return;
    slot.rowList = NewRowList(slot.firstRow, row);
  } else {
    std::vector<int32_t>& rows = rowLists_[slot.rowList];
    const auto place = std::lower_bound(rows.begin(), rows.end(), row);
    if (place != rows.end() && *place == row) return;
    rows.insert(place, row);
  }
  slot.firstRow = rowLists_[slot.rowList].front();
}

void ColumnIndex::Remove(std::string_view text, int32_t row, const CellSource& cells) {
  if (slots_.empty()) return;
  const size_t index = FindSlot(text, HashText(text), cells);
  Slot& slot = slots_[index];
  if (slot.firstRow < 0) return;
  if (slot.rowList < 0) {
    if (slot.firstRow == row) FreeSlot(index);
    return;
  }
  std::vector<int32_t>& rows = rowLists_[slot.rowList];
  const auto place = std::lower_bound(rows.begin(), rows.end(), row);
  if (place == rows.end() || *place != row) return;
  rows.erase(place);
  slot.firstRow = rows.front();
  if (rows.size() == 1) {
    ReleaseRowList(slot.rowList);
    slot.rowList = -1;
  }
}

int32_t ColumnIndex::FirstRow(std::string_view text, const CellSource& cells) const {
  if (slots_.empty()) return -1;
  return slots_[FindSlot(text, HashText(text), cells)].firstRow;
}

}  // namespace vexalo
