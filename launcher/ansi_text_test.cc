#include "launcher/ansi_text.h"

#include <gtest/gtest.h>

#include "platform/fake_platform.h"
#include "platform/win32_api.h"

namespace launcher {
namespace {

using platform::FakePlatform;

TEST(WideToAnsiFlagsTest, NoBestFitWhereTheCodePageTakesFlags) {
  struct Case {
    std::uint32_t code_page;
    std::uint32_t flags;
  };
  const Case cases[] = {
      {1252, WC_NO_BEST_FIT_CHARS},
      {1250, WC_NO_BEST_FIT_CHARS},
      {932, WC_NO_BEST_FIT_CHARS},
      {936, WC_NO_BEST_FIT_CHARS},
      {437, WC_NO_BEST_FIT_CHARS},
      {57001, WC_NO_BEST_FIT_CHARS},
      {57012, WC_NO_BEST_FIT_CHARS},
      {50000, WC_NO_BEST_FIT_CHARS},
      {CP_UTF8, 0},
      {CP_UTF7, 0},
      {54936, 0},
      {42, 0},
      {50220, 0},
      {50221, 0},
      {50222, 0},
      {50225, 0},
      {50227, 0},
      {50229, 0},
      {57002, 0},
      {57006, 0},
      {57011, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WideToAnsiFlags(c.code_page), c.flags)
        << "code page " << c.code_page;
  }
}

TEST(ToAnsiTest, ConvertsThroughTheSystemCodePage) {
  struct Case {
    const char* name;
    std::uint32_t code_page;
    UnicodeString text;
    AnsiString expected;
  };
  const Case cases[] = {
      {"plain path", 1252, u"C:\\App", "C:\\App"},
      {"Latin-1 letter", 1252, u"C:\\Jo\u00e3o", "C:\\Jo\xe3o"},
      {"1252 high block", 1252, u"\u20ac", "\x80"},
      // Characters the code page lacks become its default character, never a
      // look-alike separator or quote.
      {"division slash", 1252, u"t_a\u2215b", "t_a?b"},
      {"full-width reverse solidus", 1252, u"t_a\uff3cb", "t_a?b"},
      {"full-width quotation mark", 1252, u"a\uff02b", "a?b"},
      {"no look-alike at all", 1252, u"\u4e2d", "?"},
      // UTF-8 rejects WC_NO_BEST_FIT_CHARS; converting without it succeeds.
      {"UTF-8 code page", CP_UTF8, u"t_a\u2215b",
       "t_a\xe2\x88\x95"
       "b"},
      {"empty", 1252, u"", ""},
  };
  for (const Case& c : cases) {
    FakePlatform fake;
    fake.code_page = c.code_page;
    AnsiString result = "stale";
    ASSERT_TRUE(ToAnsi(fake, c.text, &result)) << c.name;
    EXPECT_EQ(result, c.expected) << c.name;
  }
}

TEST(ToUnicodeTest, ConvertsBackThroughTheSystemCodePage) {
  struct Case {
    std::uint32_t code_page;
    AnsiString text;
    UnicodeString expected;
  };
  const Case cases[] = {
      {1252, "C:\\App\\Java", u"C:\\App\\Java"},
      {1252, "C:\\Jo\xe3o", u"C:\\Jo\u00e3o"},
      {1252, "\x80", u"\u20ac"},
      {CP_UTF8,
       "t_a\xe2\x88\x95"
       "b",
       u"t_a\u2215b"},
      {1252, "", u""},
  };
  for (const Case& c : cases) {
    FakePlatform fake;
    fake.code_page = c.code_page;
    UnicodeString result = u"stale";
    ASSERT_TRUE(ToUnicode(fake, c.text, &result)) << c.text;
    EXPECT_EQ(result, c.expected) << c.text;
  }
}

}  // namespace
}  // namespace launcher
