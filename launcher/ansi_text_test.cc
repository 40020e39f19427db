#include "launcher/ansi_text.h"

#include <gtest/gtest.h>

#include <iterator>
#include <set>

#include "platform/fake_platform.h"
#include "platform/win32_api.h"

namespace launcher {
namespace {

using platform::FakePlatform;

// The code pages whose conversions to ANSI take no WC_NO_BEST_FIT_CHARS, as
// Microsoft's WideCharToMultiByte documentation lists them: dwFlags must be
// 0 for the ISO-2022 pages, the ISCII pages, UTF-7 and Symbol, and UTF-8 and
// GB18030 take WC_ERR_INVALID_CHARS alone. Any other flag there fails the
// call with ERROR_INVALID_FLAGS.
constexpr std::uint32_t kCodePagesWithoutBestFitFlag[] = {
    50220, 50221, 50222, 50225, 50227, 50229,  // ISO-2022
    57002, 57003, 57004, 57005, 57006, 57007, 57008, 57009, 57010,
    57011,         // ISCII
    65000,         // UTF-7
    42,            // Symbol
    65001, 54936,  // UTF-8, GB18030
};

TEST(WideToAnsiFlagsTest, NoBestFitExceptWhereTheDocumentationForbidsIt) {
  const std::set<std::uint32_t> without_flag(
      std::begin(kCodePagesWithoutBestFitFlag),
      std::end(kCodePagesWithoutBestFitFlag));
  for (std::uint32_t code_page = 0; code_page <= 0xFFFF; ++code_page) {
    const std::uint32_t expected =
        without_flag.count(code_page) != 0 ? 0 : WC_NO_BEST_FIT_CHARS;
    EXPECT_EQ(WideToAnsiFlags(code_page), expected)
        << "code page " << code_page;
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
