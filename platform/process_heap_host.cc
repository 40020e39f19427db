// The process heap of the host builds (unit tests, fuzzing): the C library's
// allocator, with a hook that lets the fake Windows see each free.
#include "platform/process_heap_host.h"

#include <cstdio>
#include <cstdlib>

#include "platform/process_heap.h"

namespace platform {

namespace {
HeapReleaseObserver g_release_observer = nullptr;
}  // namespace

void SetHeapReleaseObserver(HeapReleaseObserver observer) {
  g_release_observer = observer;
}

void* HeapAllocate(std::size_t bytes) {
  void* block = std::malloc(bytes == 0 ? 1 : bytes);
  if (block == nullptr) EndOnAllocationFailure();
  return block;
}

void HeapRelease(void* block) {
  if (block == nullptr) return;
  std::free(block);
  if (g_release_observer != nullptr) g_release_observer();
}

void EndOnAllocationFailure() {
  std::fputs("process heap: out of memory\n", stderr);
  std::abort();
}

}  // namespace platform
