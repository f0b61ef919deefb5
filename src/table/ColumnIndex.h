#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/HugePages.h"

namespace vexalo {

// For every distinct text of one table column, the rows that hold it, so that
// "does any of the first N rows hold this text" is a hash lookup rather than a
// scan of the column. Keeping the lowest row of each text answers that for any
// N, so hiding or showing rows needs no work here.
//
// Texts are not copied: an entry keeps a 32-bit hash and its rows, and a
// candidate is confirmed against the table's own cell. The owner therefore
// calls Remove(old, row) while the cell still holds `old`, and Add(new, row)
// once it holds `new`.
//
// Loading a file adds a million texts in a row, each landing on a random slot
// the processor has to wait for. So Add only notes its text; the noted texts
// go in together, ordered by the part of the table they land in, so that each
// batch walks the table from one end to the other instead of jumping about in
// it. That happens once enough are noted, or before anything else reads or
// changes the index, so lookups never see it otherwise.
class ColumnIndex {
 public:
  // Reads the indexed column of a row already in the index.
  class CellSource {
   public:
    virtual std::string_view IndexedText(int32_t row) const = 0;

   protected:
    ~CellSource() = default;
  };

  // Records that `row` holds `text`; `text` is the cell's own text.
  void Add(std::string_view text, int32_t row, const CellSource& cells);
  // Forgets that `row` holds `text`; a pair never added is ignored.
  void Remove(std::string_view text, int32_t row, const CellSource& cells);
  // Makes room for `texts` distinct texts at once, so that adding them
  // needs no rehashing on the way.
  void Reserve(size_t texts);

  // The lowest row holding `text`, or -1 when none does. Not const: the
  // texts noted by Add go in first.
  int32_t FirstRow(std::string_view text, const CellSource& cells);

 private:
  struct Slot {
    uint32_t hash = 0;
    int32_t firstRow = -1;  // -1: the slot is free
    int32_t rowList = -1;   // -1: firstRow is the text's only row; else an index into rowLists_
  };

  // An Add whose entry is not in the slots yet.
  struct PendingAdd {
    uint32_t hash = 0;
    int32_t row = 0;
  };
  // Enough that a batch of a load lands densely on the table, so that
  // its slots are met in address order a few to each cache line; 2 MB of
  // notes.
  static constexpr size_t kPendingBatch = size_t{1} << 18;
  // Up to this many notes go in as they came.
  static constexpr size_t kUnorderedAdds = 64;

  size_t HomeSlot(uint32_t hash) const;
  // The slot holding the text `text()` gives, or the free slot where it
  // belongs; `text` is only asked when a slot's hash matches.
  template <typename Text>
  size_t FindSlot(uint32_t hash, const CellSource& cells, Text text) const;
  void Insert(uint32_t hash, int32_t row, const CellSource& cells);
  void CompletePending(const CellSource& cells);
  void GrowIfFull();
  void Rehash(int slotBits);
  void FreeSlot(size_t index);
  int32_t NewRowList(int32_t first, int32_t second);
  void ReleaseRowList(int32_t list);

  std::vector<Slot, HugePageAllocator<Slot>>
      slots_;  // open addressing, linear probing; size a power of two
  int slotBits_ = 0;
  size_t usedSlots_ = 0;
  // The rows of texts held by more than one row, ascending.
  std::vector<std::vector<int32_t>> rowLists_;
  std::vector<int32_t> unusedRowLists_;
  std::vector<PendingAdd> pending_;  // in the order they were added
  std::vector<PendingAdd> sorted_;   // CompletePending's room to order them in
};

}  // namespace vexalo
