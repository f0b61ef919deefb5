#include "table/ColumnIndex.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace vexalo {

namespace {

constexpr int kInitialSlotBits = 4;

// Ids are short, so eight bytes at a time through a multiply-and-shift mix,
// inline, beats a general-purpose string hash called through the library.
uint32_t HashText(std::string_view text) {
  constexpr uint64_t kMultiplier = 0x9E3779B97F4A7C15u;
  uint64_t hash = text.size() * kMultiplier;
  size_t pos = 0;
  const auto mix = [&hash](uint64_t word) {
    hash = (hash ^ word) * 0xBF58476D1CE4E5B9u;
    hash ^= hash >> 31;
  };
  for (; pos + 8 <= text.size(); pos += 8) {
    uint64_t word;
    std::memcpy(&word, text.data() + pos, 8);
    mix(word);
  }
  if (pos < text.size()) {
    uint64_t word = 0;
    for (size_t i = pos; i < text.size(); ++i) {
      word = (word << 8) | static_cast<unsigned char>(text[i]);
    }
    mix(word);
  }
  hash *= kMultiplier;
  return static_cast<uint32_t>(hash >> 32);
}

}  // namespace

size_t ColumnIndex::HomeSlot(uint32_t hash) const {
  // The high bits, so that the slot stays derivable from the stored hash
  // alone when the table doubles.
  return hash >> (32 - slotBits_);
}

template <typename Text>
size_t ColumnIndex::FindSlot(uint32_t hash, const CellSource& cells, Text text) const {
  const size_t mask = slots_.size() - 1;
  size_t index = HomeSlot(hash);
  // Ends: the table is never more than three quarters full.
  while (slots_[index].firstRow >= 0) {
    const Slot& slot = slots_[index];
    if (slot.hash == hash && cells.IndexedText(slot.firstRow) == text()) return index;
    index = (index + 1) & mask;
  }
  return index;
}

void ColumnIndex::GrowIfFull() {
  if (!slots_.empty() && (usedSlots_ + 1) * 4 <= slots_.size() * 3) return;
  Rehash(slots_.empty() ? kInitialSlotBits : slotBits_ + 1);
}

void ColumnIndex::Reserve(size_t texts) {
  int bits = std::max(slotBits_, kInitialSlotBits);
  while ((size_t{1} << bits) * 3 < texts * 4 && bits < 31) ++bits;
  if (bits > slotBits_) Rehash(bits);
}

void ColumnIndex::Rehash(int slotBits) {
  std::vector<Slot, HugePageAllocator<Slot>> old;
  old.swap(slots_);
  slotBits_ = slotBits;
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

void ColumnIndex::Insert(uint32_t hash, int32_t row, const CellSource& cells) {
  GrowIfFull();
  Slot& slot = slots_[FindSlot(hash, cells, [&] { return cells.IndexedText(row); })];
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

void ColumnIndex::CompletePending(const CellSource& cells) {
  // A row taken between two lookups: ordering one note is not worth it.
  if (pending_.size() <= kUnorderedAdds) {
    for (const PendingAdd& add : pending_) Insert(add.hash, add.row, cells);
    pending_.clear();
    return;
  }
  // A counting sort by the slot's top bits: each part of the table then
  // takes its entries in one visit, while its memory is at hand.
  constexpr int kOrderBits = 12;
  std::array<uint32_t, (1 << kOrderBits) + 1> starts{};
  for (const PendingAdd& add : pending_) ++starts[(add.hash >> (32 - kOrderBits)) + 1];
  for (size_t part = 1; part < starts.size(); ++part) starts[part] += starts[part - 1];
  sorted_.resize(pending_.size());
  // Stable, so a text held by several rows meets them in ascending order.
  for (const PendingAdd& add : pending_) sorted_[starts[add.hash >> (32 - kOrderBits)]++] = add;
  pending_.clear();
  // Room for the whole batch first: a table that grew on the way would
  // hold the batch's low slots only, all crowded into its first part.
  Reserve(usedSlots_ + sorted_.size());
  for (const PendingAdd& add : sorted_) Insert(add.hash, add.row, cells);
}

void ColumnIndex::Add(std::string_view text, int32_t row, const CellSource& cells) {
  pending_.push_back(PendingAdd{HashText(text), row});
  if (pending_.size() >= kPendingBatch) CompletePending(cells);
}

void ColumnIndex::Remove(std::string_view text, int32_t row, const CellSource& cells) {
  CompletePending(cells);
  if (slots_.empty()) return;
  const size_t index = FindSlot(HashText(text), cells, [text] { return text; });
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

int32_t ColumnIndex::FirstRow(std::string_view text, const CellSource& cells) {
  CompletePending(cells);
  if (slots_.empty()) return -1;
  return slots_[FindSlot(HashText(text), cells, [text] { return text; })].firstRow;
}

}  // namespace vexalo
