#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/HugePages.h"

namespace vexalo {

// The bytes of every stored row of the table. A row written onto an empty row
// in one piece (how the data file is loaded) is packed into large shared
// blocks, so a million loaded rows cost a few dozen allocations rather than a
// million. A row written again, or a long one, lives in a buffer of its own
// from then on; the packed bytes it leaves behind are never reused, but each
// row leaves such bytes at most once.
class RowStore {
 public:
  RowStore() = default;
  // A copy shares the packed blocks, which never change once written, and
  // packs its own later rows into blocks of its own.
  RowStore(const RowStore& other);
  RowStore& operator=(const RowStore& other);
  RowStore(RowStore&&) = default;
  RowStore& operator=(RowStore&&) = default;

  size_t Count() const { return rows_.size(); }

  // The bytes of `row` (< Count()); valid until the next Rewrite.
  std::string_view Bytes(size_t row) const;

  // Makes room for `count` rows without moving the row list on the way.
  void Reserve(size_t count) { rows_.reserve(count); }

  // Adds empty rows until there are `count`.
  void GrowTo(size_t count);

  // Gives `row` (< Count()) room for `size` new bytes and returns where they
  // go; the caller writes all of them. The row's old bytes, as viewed before
  // this call, stay readable until the next Rewrite, so the new bytes may be
  // built from them.
  char* Rewrite(size_t row, size_t size);

 private:
  // A row never written has neither packed bytes nor a string of its own.
  struct Row {
    char* packed = nullptr;  // its bytes in a block
    uint32_t size = 0;       // of the packed bytes
    int32_t own = -1;        // index into owned_, which then holds the bytes
  };

  char* Pack(size_t size);

  std::vector<Row, HugePageAllocator<Row>> rows_;
  std::vector<std::shared_ptr<char[]>> blocks_;
  size_t blockUsed_ = 0;
  size_t blockSize_ = 0;
  // Vectors, not strings: a short string keeps its bytes inside itself, where
  // a swap would move them away from a view of them.
  std::deque<std::vector<char>> owned_;
  std::vector<char> retired_;  // the old bytes of the last owned row rewritten
};

}  // namespace vexalo
