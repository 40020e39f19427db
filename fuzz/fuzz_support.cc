#include "fuzz/fuzz_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace fuzz {

platform::AnsiString Decimal(std::uint32_t value) {
  const std::string text = std::to_string(value);
  return platform::AnsiString(text.begin(), text.end());
}

namespace {

class AbortingListener : public ::testing::EmptyTestEventListener {
 public:
  void OnTestPartResult(const ::testing::TestPartResult& result) override {
    if (!result.failed()) return;
    Fail(result.file_name() != nullptr ? result.file_name() : "(unknown)",
         result.line_number(),
         platform::AnsiString("the fake platform reported: ") +
             result.message());
  }
};

}  // namespace

void AbortOnTestFailure() {
  // The listener list owns what is appended to it.
  ::testing::UnitTest::GetInstance()->listeners().Append(new AbortingListener);
}

void Fail(const char* file, int line, const platform::AnsiString& what) {
  std::fprintf(stderr, "%s:%d: %s\n", file, line, what.c_str());
  std::fflush(stderr);
  std::abort();
}

std::uint8_t InputReader::Byte() {
  return offset_ < size_ ? data_[offset_++] : 0;
}

std::uint32_t InputReader::U32() {
  std::uint32_t value = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    value |= static_cast<std::uint32_t>(Byte()) << shift;
  }
  return value;
}

platform::AnsiString InputReader::Bytes(std::size_t count) {
  const std::size_t taken = std::min(count, size_ - offset_);
  platform::AnsiString bytes(reinterpret_cast<const char*>(data_ + offset_),
                             taken);
  offset_ += taken;
  return bytes;
}

platform::AnsiString InputReader::Rest() { return Bytes(size_ - offset_); }

bool HasLoneSurrogate(const platform::UnicodeString& text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() &&
        text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      return true;
    }
  }
  return false;
}

}  // namespace fuzz

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  fuzz::AbortOnTestFailure();
  return 0;
}
