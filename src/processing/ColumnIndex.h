#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

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
class ColumnIndex {
 public:
  // Reads the indexed column of a row already in the index.
  class CellSource {
   public:
    virtual std::string_view IndexedText(int32_t row) const = 0;

   protected:
    ~CellSource() = default;
  };

  // Records that `row` holds `text`.
  void Add(std::string_view text, int32_t row, const CellSource& cells);
  // Forgets that `row` holds `text`; a pair never added is ignored.
  void Remove(std::string_view text, int32_t row, const CellSource& cells);
  // The lowest row holding `text`, or -1 when none does.
  int32_t FirstRow(std::string_view text, const CellSource& cells) const;

 private:
  struct Slot {
    uint32_t hash = 0;
    int32_t firstRow = -1;  // -1: the slot is free
    int32_t rowList = -1;   // -1: firstRow is the text's only row; else an index into rowLists_
  };

  size_t HomeSlot(uint32_t hash) const;
  // The slot holding `text`, or the free slot where it belongs.
  size_t FindSlot(std::string_view text, uint32_t hash, const CellSource& cells) const;
  void GrowIfFull();
  void FreeSlot(size_t index);
  int32_t NewRowList(int32_t first, int32_t second);
  void ReleaseRowList(int32_t list);

  std::vector<Slot> slots_;  // open addressing, linear probing; size a power of two
  int slotBits_ = 0;
  size_t usedSlots_ = 0;
  // The rows of texts held by more than one row, ascending.
  std::vector<std::vector<int32_t>> rowLists_;
  std::vector<int32_t> unusedRowLists_;
};

}  // namespace vexalo
