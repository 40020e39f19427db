// The launcher's text and buffers live on the process heap, through an
// allocator of the project's own. The standard string and vector templates
// are then instantiated from the headers alone: nothing of the compiled C++
// library is linked into the exe (std::string itself would pull in its
// precompiled instantiation).
#ifndef PLATFORM_PROCESS_HEAP_H_
#define PLATFORM_PROCESS_HEAP_H_

#include <cstddef>
#include <cstdint>

namespace platform {

// A block of |bytes| (at least one) on the process heap. Never returns null:
// when the heap cannot give the block, the process ends at once with exit
// code ERROR_NOT_ENOUGH_MEMORY (8).
void* HeapAllocate(std::size_t bytes);
// Gives back a block of HeapAllocate; null is ignored.
void HeapRelease(void* block);
// Ends the process at once with exit code ERROR_NOT_ENOUGH_MEMORY: what a
// request no heap could satisfy comes to.
[[noreturn]] void EndOnAllocationFailure();

template <typename T>
class ProcessHeapAllocator {
 public:
  using value_type = T;

  ProcessHeapAllocator() noexcept = default;
  // Implicit, as the allocator requirements want the rebinding copy to be.
  template <typename U>
  ProcessHeapAllocator(const ProcessHeapAllocator<U>& /*other*/) noexcept {}

  T* allocate(std::size_t count) {
    if (count > SIZE_MAX / sizeof(T)) EndOnAllocationFailure();
    return static_cast<T*>(HeapAllocate(count * sizeof(T)));
  }
  void deallocate(T* block, std::size_t /*count*/) noexcept {
    HeapRelease(block);
  }

  template <typename U>
  bool operator==(const ProcessHeapAllocator<U>& /*other*/) const noexcept {
    return true;
  }
  template <typename U>
  bool operator!=(const ProcessHeapAllocator<U>& /*other*/) const noexcept {
    return false;
  }
};

}  // namespace platform

#endif  // PLATFORM_PROCESS_HEAP_H_
