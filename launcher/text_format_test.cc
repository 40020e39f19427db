#include "launcher/text_format.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>

#include "launcher/child_process.h"
#include "launcher/runtime_lookup.h"

namespace launcher {
namespace {

// The C library's printf is the reference the launcher's own formatting
// stands in for.
AnsiString Printf(const char* format, int value) {
  char text[64];
  std::snprintf(text, sizeof(text), format, value);
  return text;
}

AnsiString Printf(const char* format, const char* value) {
  char text[128];
  std::snprintf(text, sizeof(text), format, value);
  return text;
}

TEST(SignedDecimalTest, WritesWhatPrintfWrites) {
  for (int value : {0, 1, -1, 7, 9, 10, 99, 100, 267, -267, 1000000, 2147483647,
                    -2147483647, INT_MIN}) {
    EXPECT_EQ(SignedDecimal(value), Printf("%d", value)) << value;
  }
  // Windows error codes with the top bit set read as negative numbers.
  EXPECT_EQ(SignedDecimal(static_cast<std::int32_t>(0x80070005u)),
            "-2147024891");
}

TEST(FormatWithTest, LaunchFailureMessageMatchesPrintf) {
  for (int value : {0, 2, 3, 193, 267, -1, INT_MIN, INT_MAX}) {
    EXPECT_EQ(FormatWith(ErrorFormat, SignedDecimal(value)),
              Printf(ErrorFormat, value))
        << value;
  }
}

TEST(FormatWithTest, RegistryMessagesMatchPrintf) {
  for (const char* format : {FailedToGetDataFormat, InvalidDataTypeFormat}) {
    for (const char* name : {"JavaHome", "", "a%db", "x y"}) {
      EXPECT_EQ(FormatWith(format, name), Printf(format, name))
          << format << " " << name;
    }
  }
}

TEST(FormatWithTest, OnlyTheFirstConversionIsReplaced) {
  EXPECT_EQ(FormatWith("%d and %d", "1"), "1 and %d");
  EXPECT_EQ(FormatWith("no conversion", "1"), "no conversion");
  EXPECT_EQ(FormatWith("ends in %", "1"), "ends in %");
  EXPECT_EQ(FormatWith("", "1"), "");
}

}  // namespace
}  // namespace launcher
