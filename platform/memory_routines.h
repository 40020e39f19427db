// The byte routines the compilers call on their own (for copying a string,
// clearing a structure, comparing two texts). The exe has no C runtime to
// supply memset, memcpy, memmove, memcmp and strlen, so they are these,
// exported under the C names by the Windows build only (freestanding.cc);
// the host builds test them under their own names.
#ifndef PLATFORM_MEMORY_ROUTINES_H_
#define PLATFORM_MEMORY_ROUTINES_H_

#include <cstddef>
#include <cstdint>

namespace platform {

// memset: sets |count| bytes at |destination| to |value| converted to
// unsigned char; returns |destination|.
void* FillBytes(void* destination, int value, std::size_t count);
// memcpy: copies |count| bytes between blocks that do not overlap.
void* CopyBytes(void* destination, const void* source, std::size_t count);
// memmove: copies |count| bytes between blocks that may overlap, as if
// through a temporary copy.
void* MoveBytes(void* destination, const void* source, std::size_t count);
// memcmp: compares |count| bytes as unsigned char; negative, zero or
// positive as the first differing byte of |left| is smaller, none, larger.
int CompareBytes(const void* left, const void* right, std::size_t count);
// strlen: the number of characters before the terminating NUL.
std::size_t StringLength(const char* text);

}  // namespace platform

#endif  // PLATFORM_MEMORY_ROUTINES_H_
