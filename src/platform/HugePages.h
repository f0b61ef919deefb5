#pragma once

#include <cstddef>
#include <new>

namespace vexalo {

// Memory for the few large arrays a loaded table lives in (its row bytes, its
// row list, the index of its ids). A million rows fill a few hundred MB a
// page at a time; with 4 KB pages every first touch is a page fault, and on a
// virtual machine those faults cost more than the load's own work. Large
// requests are therefore aligned to 2 MB and offered to the kernel for
// transparent huge pages; smaller ones, and a kernel that declines, get
// ordinary memory. Raises std::bad_alloc like operator new.
void* AllocateLarge(size_t bytes);
void FreeLarge(void* memory) noexcept;

// AllocateLarge for std::vector.
template <typename T>
struct HugePageAllocator {
  using value_type = T;

  HugePageAllocator() = default;
  template <typename U>
  HugePageAllocator(const HugePageAllocator<U>& /*other*/) {}  // NOLINT: allocators convert

  T* allocate(size_t count) {
    if (count > static_cast<size_t>(-1) / sizeof(T)) throw std::bad_array_new_length();
    return static_cast<T*>(AllocateLarge(count * sizeof(T)));
  }
  void deallocate(T* memory, size_t /*count*/) noexcept { FreeLarge(memory); }

  template <typename U>
  bool operator==(const HugePageAllocator<U>& /*other*/) const {
    return true;
  }
};

}  // namespace vexalo
