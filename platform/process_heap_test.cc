#include "platform/process_heap.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/platform.h"

// AddressSanitizer would end the process itself on a request this large;
// let malloc say no instead, as a heap does, so the deaths below are the
// launcher's own.
extern "C" const char* __asan_default_options() {  // NOLINT
  return "allocator_may_return_null=1";
}

namespace platform {
namespace {

TEST(ProcessHeapAllocatorTest, TextLivesOnTheHeapAndGrows) {
  AnsiString text(1000, 'x');
  text += AnsiString(5000, 'y');
  EXPECT_EQ(text.size(), 6000u);
  EXPECT_EQ(text[999], 'x');
  EXPECT_EQ(text[1000], 'y');
  UnicodeString wide(u"C:\\App");
  wide.append(300, u'd');
  EXPECT_EQ(wide.size(), 306u);
}

// A request no heap can satisfy ends the process at once (ExitProcess with
// ERROR_NOT_ENOUGH_MEMORY in the exe, abort on the host), never a null
// pointer to write through and never a wrapped-around size.
TEST(ProcessHeapAllocatorDeathTest, ImpossibleRequestsEndTheProcess) {
  ProcessHeapAllocator<char16_t> allocator;
  // count * sizeof(char16_t) would wrap around to a small block.
  EXPECT_DEATH(allocator.allocate(SIZE_MAX / 2 + 2), "out of memory");
  // Representable, but more than any heap has.
  EXPECT_DEATH(HeapAllocate(SIZE_MAX - 4096), "out of memory");
  EXPECT_DEATH(AnsiString(SIZE_MAX / 4, 'x'), "out of memory");
}

}  // namespace
}  // namespace platform
