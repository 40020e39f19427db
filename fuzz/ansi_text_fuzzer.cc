// Fuzzes the conversions between UTF-16 and the ANSI code page (1252 or
// UTF-8) through the fake: they succeed with the flags the launcher picks,
// add or drop no NUL, leave ASCII (separators, colon, quote, blank) where it
// was, and change a character only into the code page's default '?', never
// into a look-alike.
//
// Input: one setup byte, then the text (UTF-16 little-endian, or ANSI bytes).
//   setup bit 0  ANSI code page UTF-8 instead of 1252
//   setup bit 1  convert ANSI to UTF-16 and back instead of the other way
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "launcher/ansi_text.h"
#include "platform/fake_platform.h"
#include "platform/win32_api.h"

namespace {

// The ASCII characters of |text| in order, less the default character '?'
// that an unconvertible character becomes.
template <typename Text>
platform::AnsiString AsciiSkeleton(const Text& text) {
  platform::AnsiString skeleton;
  for (auto c : text) {
    const auto code = static_cast<std::uint32_t>(
        static_cast<typename std::make_unsigned<decltype(c)>::type>(c));
    if (code < 0x80 && code != '?') skeleton.push_back(static_cast<char>(code));
  }
  return skeleton;
}

void WideThroughAnsi(platform::FakePlatform& fake,
                     const platform::UnicodeString& wide) {
  const bool utf8 = fake.code_page == CP_UTF8;
  platform::AnsiString ansi = "stale";
  FUZZ_CHECK(launcher::ToAnsi(fake, wide, &ansi),
             "ToAnsi failed with error " + fuzz::Decimal(fake.GetLastError()));
  FUZZ_CHECK(wide.empty() == ansi.empty(), "emptiness changed");
  FUZZ_CHECK(AsciiSkeleton(ansi) == AsciiSkeleton(wide),
             "ASCII characters added, dropped or moved");
  platform::UnicodeString back = u"stale";
  FUZZ_CHECK(launcher::ToUnicode(fake, ansi, &back), "ToUnicode failed");
  if (utf8) {
    if (!fuzz::HasLoneSurrogate(wide)) {
      FUZZ_CHECK(back == wide, "UTF-8 does not give the text back");
    }
    return;
  }
  // One byte per unit; each character comes back as itself or as '?'.
  FUZZ_CHECK(ansi.size() == wide.size() && back.size() == wide.size(),
             "unit count changed");
  for (std::size_t i = 0; i < wide.size(); ++i) {
    FUZZ_CHECK(back[i] == wide[i] || ansi[i] == '?',
               "unit " + fuzz::Decimal(static_cast<std::uint32_t>(i)) +
                   " became a look-alike");
  }
}

// Whether |text| is UTF-8 in shortest form, without surrogates, up to
// U+10FFFF: what WideCharToMultiByte produces, and all the launcher's UTF-8
// ANSI text ever is, since it comes from ToAnsi or from ASCII constants.
bool IsStrictUtf8(const platform::AnsiString& text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    // The continuation bytes that follow, the lead's payload, and the least
    // code point the sequence may carry (less is an overlong form).
    std::size_t extra = 0;
    std::uint32_t code = lead;
    std::uint32_t minimum = 0;
    if (lead >= 0xF0 && lead <= 0xF4) {
      extra = 3;
      code = lead & 0x07u;
      minimum = 0x10000;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      extra = 2;
      code = lead & 0x0Fu;
      minimum = 0x800;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      extra = 1;
      code = lead & 0x1Fu;
      minimum = 0x80;
    } else if (lead >= 0x80) {
      return false;  // a stray continuation byte, C0, C1 or F5 to FF
    }
    if (text.size() - i <= extra) return false;
    for (std::size_t k = 1; k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3Fu);
    }
    if (code < minimum || code > 0x10FFFF ||
        (code >= 0xD800 && code <= 0xDFFF)) {
      return false;
    }
    i += extra + 1;
  }
  return true;
}

void AnsiThroughWide(platform::FakePlatform& fake,
                     const platform::AnsiString& ansi) {
  // The launcher converts back to UTF-16 only ANSI text it made itself.
  const bool utf8 = fake.code_page == CP_UTF8;
  if (utf8 && !IsStrictUtf8(ansi)) return;
  platform::UnicodeString wide = u"stale";
  FUZZ_CHECK(launcher::ToUnicode(fake, ansi, &wide), "ToUnicode failed");
  FUZZ_CHECK(ansi.empty() == wide.empty(), "emptiness changed");
  FUZZ_CHECK(AsciiSkeleton(wide) == AsciiSkeleton(ansi),
             "ASCII characters added, dropped or moved");
  platform::AnsiString back = "stale";
  FUZZ_CHECK(launcher::ToAnsi(fake, wide, &back), "ToAnsi failed");
  if (utf8) {
    FUZZ_CHECK(back == ansi, "UTF-8 text does not come back unchanged");
    return;
  }
  // One unit per byte; each byte comes back as itself or as '?'.
  FUZZ_CHECK(wide.size() == ansi.size() && back.size() == ansi.size(),
             "unit count changed");
  for (std::size_t i = 0; i < ansi.size(); ++i) {
    FUZZ_CHECK(back[i] == ansi[i] || back[i] == '?',
               "byte " + fuzz::Decimal(static_cast<std::uint32_t>(i)) +
                   " came back as another");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  fuzz::InputReader input(data, size);
  const std::uint8_t setup = input.Byte();
  const platform::AnsiString rest = input.Rest();
  platform::FakePlatform fake;
  fake.code_page = (setup & 1) != 0 ? CP_UTF8 : 1252;
  if ((setup & 2) != 0) {
    AnsiThroughWide(fake, rest);
    return 0;
  }
  platform::UnicodeString wide;
  for (std::size_t i = 0; i + 1 < rest.size(); i += 2) {
    wide.push_back(
        static_cast<char16_t>(static_cast<unsigned char>(rest[i]) |
                              (static_cast<unsigned char>(rest[i + 1]) << 8)));
  }
  WideThroughAnsi(fake, wide);
  return 0;
}
