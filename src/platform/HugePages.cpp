#include "platform/HugePages.h"

#include <sys/mman.h>

#include <cstdlib>

namespace vexalo {

namespace {

constexpr size_t kHugePage = size_t{2} << 20;

}  // namespace

void* AllocateLarge(size_t bytes) {
  if (bytes < kHugePage) {
    void* memory = std::malloc(bytes == 0 ? 1 : bytes);
    if (memory == nullptr) throw std::bad_alloc();
    return memory;
  }
  const size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
  void* memory = std::aligned_alloc(kHugePage, rounded);
  if (memory == nullptr) throw std::bad_alloc();
  // Only advice: a kernel without huge pages leaves the memory as it is.
  ::madvise(memory, rounded, MADV_HUGEPAGE);
  return memory;
}

void FreeLarge(void* memory) noexcept { std::free(memory); }

}  // namespace vexalo
