// What the compiled code of the exe expects from a C and C++ runtime, which
// the exe does without: the byte routines the compilers call, operator new
// and delete over the process heap, and the few entry points that the
// standard headers' templates call when something is beyond repair. None of
// them needs more than KERNEL32.
#include <windows.h>

#include <cstddef>
#include <new>

#include "platform/memory_routines.h"
#include "platform/process_heap.h"

extern "C" {

void* memset(void* destination, int value, std::size_t count) {
  return platform::FillBytes(destination, value, count);
}

void* memcpy(void* destination, const void* source, std::size_t count) {
  return platform::CopyBytes(destination, source, count);
}

void* memmove(void* destination, const void* source, std::size_t count) {
  return platform::MoveBytes(destination, source, count);
}

int memcmp(const void* left, const void* right, std::size_t count) {
  return platform::CompareBytes(left, right, count);
}

std::size_t strlen(const char* text) { return platform::StringLength(text); }

// Called through a virtual table slot of a pure virtual function, which only
// a broken object can reach. The name is the one the compilers use.
// NOLINTNEXTLINE(bugprone-reserved-identifier)
void __cxa_pure_virtual() { ::ExitProcess(ERROR_INVALID_FUNCTION); }

}  // extern "C"

void* operator new(std::size_t bytes) { return platform::HeapAllocate(bytes); }
void* operator new[](std::size_t bytes) {
  return platform::HeapAllocate(bytes);
}
void operator delete(void* block) noexcept { platform::HeapRelease(block); }
void operator delete[](void* block) noexcept { platform::HeapRelease(block); }
void operator delete(void* block, std::size_t /*bytes*/) noexcept {
  platform::HeapRelease(block);
}
void operator delete[](void* block, std::size_t /*bytes*/) noexcept {
  platform::HeapRelease(block);
}

// Built without exceptions, the standard templates call these where they
// would throw: a string or vector asked to grow beyond what any heap holds,
// or an allocation the heap refused. Each ends the process as a failed
// allocation does. The names are the ones the headers declare.
// NOLINTBEGIN(bugprone-reserved-identifier,cert-dcl58-cpp)
namespace std {
void __throw_bad_alloc() { platform::EndOnAllocationFailure(); }
void __throw_bad_array_new_length() { platform::EndOnAllocationFailure(); }
void __throw_length_error(const char* /*what*/) {
  platform::EndOnAllocationFailure();
}
void __throw_logic_error(const char* /*what*/) {
  platform::EndOnAllocationFailure();
}
void __throw_out_of_range_fmt(const char* /*format*/, ...) {
  platform::EndOnAllocationFailure();
}
}  // namespace std
// NOLINTEND(bugprone-reserved-identifier,cert-dcl58-cpp)
