// What the fuzz targets share: turning the fake platform's complaints into
// crashes libFuzzer can record, and reading a fuzz input field by field.
#ifndef FUZZ_FUZZ_SUPPORT_H_
#define FUZZ_FUZZ_SUPPORT_H_

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

namespace fuzz {

// FakePlatform reports misuse (a handle closed twice, a key left open, a
// call with unexpected arguments) through GoogleTest's ADD_FAILURE and
// EXPECT_*. Outside a running test GoogleTest only prints such a failure and
// carries on, and its own break_on_failure flag raises SIGTRAP, which
// libFuzzer does not catch. This installs a listener that prints the failure
// and aborts, so the input that caused it is saved. Call it once, from
// LLVMFuzzerInitialize, which this library defines for every target.
void AbortOnTestFailure();

// Whether |text| holds a surrogate without its partner, which no conversion
// can carry over unchanged.
bool HasLoneSurrogate(const platform::UnicodeString& text);

// |value| in decimal, for check messages.
platform::AnsiString Decimal(std::uint32_t value);

// Prints |what| with its place in the source and aborts.
[[noreturn]] void Fail(const char* file, int line,
                       const platform::AnsiString& what);

// Reads the fields of a fuzz input front to back. Past the end every field
// reads as zero and every byte run as empty, so a short input still makes a
// whole case.
class InputReader {
 public:
  InputReader(const std::uint8_t* data, std::size_t size)
      : data_(data), size_(size) {}

  std::uint8_t Byte();
  // Little-endian, as Windows stores a DWORD.
  std::uint32_t U32();
  // The next |count| bytes, or as many as are left.
  platform::AnsiString Bytes(std::size_t count);
  // Everything not read yet.
  platform::AnsiString Rest();

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t offset_ = 0;
};

}  // namespace fuzz

// Checks a property of the code under fuzzing; on violation reports the
// condition and |message| (anything that streams into a platform::AnsiString
// via +).
#define FUZZ_CHECK(condition, message)                                         \
  do {                                                                         \
    if (!(condition)) {                                                        \
      ::fuzz::Fail(                                                            \
          __FILE__, __LINE__,                                                  \
          platform::AnsiString("check failed: " #condition "; ") + (message)); \
    }                                                                          \
  } while (false)

#endif  // FUZZ_FUZZ_SUPPORT_H_
