// The process heap, for the launcher's text and for operator new.
#include <windows.h>

#include "platform/process_heap.h"

namespace platform {

void* HeapAllocate(std::size_t bytes) {
  void* const block =
      ::HeapAlloc(::GetProcessHeap(), 0, bytes == 0 ? 1 : bytes);
  if (block == nullptr) EndOnAllocationFailure();
  return block;
}

void HeapRelease(void* block) {
  if (block != nullptr) ::HeapFree(::GetProcessHeap(), 0, block);
}

void EndOnAllocationFailure() { ::ExitProcess(ERROR_NOT_ENOUGH_MEMORY); }

}  // namespace platform
