#include "table/RowStore.h"

#include <limits>
#include <stdexcept>

namespace vexalo {

namespace {

constexpr size_t kBlockSize = size_t{4} << 20;
// Longer rows get their own string, so a block never wastes more than this.
constexpr size_t kLongestPackedRow = size_t{16} << 10;

}  // namespace

RowStore::RowStore(const RowStore& other)
    : rows_(other.rows_), blocks_(other.blocks_), owned_(other.owned_) {}

RowStore& RowStore::operator=(const RowStore& other) {
  if (this != &other) *this = RowStore(other);
  return *this;
}

std::string_view RowStore::Bytes(size_t row) const {
  const Row& stored = rows_[row];
  if (stored.own >= 0) {
    const std::vector<char>& bytes = owned_[static_cast<size_t>(stored.own)];
    return {bytes.data(), bytes.size()};
  }
  return {stored.packed, stored.size};
}

void RowStore::GrowTo(size_t count) {
  while (rows_.size() < count) rows_.emplace_back();
}

char* RowStore::Pack(size_t size) {
  if (blockUsed_ + size > blockSize_) {
    blocks_.emplace_back(static_cast<char*>(AllocateLarge(kBlockSize)), FreeLarge);
    blockSize_ = kBlockSize;
    blockUsed_ = 0;
  }
  char* place = blocks_.back().get() + blockUsed_;
  blockUsed_ += size;
  return place;
}

char* RowStore::Rewrite(size_t row, size_t size) {
  Row& stored = rows_[row];
  if (stored.own >= 0) {
    std::vector<char>& bytes = owned_[static_cast<size_t>(stored.own)];
    retired_.swap(bytes);
    bytes.resize(size);
    return bytes.data();
  }
  if (stored.packed == nullptr) {  // never written
    static char nowhere;
    if (size == 0) return &nowhere;
    if (size <= kLongestPackedRow) {
      stored.packed = Pack(size);
      stored.size = static_cast<uint32_t>(size);
      return stored.packed;
    }
  }
  if (owned_.size() >= static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
    throw std::length_error("too many rewritten rows");
  }
  // Packed bytes left behind stay readable until the blocks go.
  stored.own = static_cast<int32_t>(owned_.size());
  owned_.emplace_back(size);
  return owned_.back().data();
}

}  // namespace vexalo
