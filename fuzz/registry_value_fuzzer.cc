// Fuzzes how the registered runtime's JavaHome is decoded: any type, any
// byte count (odd ones, none), any bytes (no terminator, NULs inside), in
// either registry view, with the data read failing or the value growing
// between the size query and the read.
//
// Input: one setup byte, the value type (4 bytes, little-endian), the length
// of the first value's data (2 bytes), that data, then the second value's
// data (the rest).
//   setup bit 0     32-bit Windows (one registry) instead of WOW64
//   setup bit 1     ANSI code page UTF-8 instead of 1252
//   setup bits 2-3  0: value in the 64-bit view; 1: value in the 32-bit
//                   view; 2: the first value in the 64-bit view and the
//                   second in the 32-bit one; 3: an empty 1.7 key in the
//                   64-bit view and the value in the 32-bit one
//   setup bits 4-5  1: reading the data fails; 2: the value grows by two
//                   bytes between the two queries
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "launcher/ansi_text.h"
#include "launcher/runtime_lookup.h"
#include "platform/fake_platform.h"
#include "platform/win32_api.h"

namespace {

using platform::FakePlatform;
using Hive = FakePlatform::Hive;

constexpr char16_t kKey17[] =
    u"Software\\JavaSoft\\Java Runtime Environment\\1.7";

struct Value {
  std::uint32_t type = 0;
  platform::AnsiString bytes;
};

std::vector<std::uint8_t> ToVector(const platform::AnsiString& bytes) {
  return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

// The value a 32-bit process finds, if any: the 64-bit view's 1.7 key
// decides when it exists, value or not; on 32-bit Windows both views are the
// one registry, so a second value stored under the same key replaces the
// first.
std::optional<Value> DecisiveValue(bool windows32, int placement,
                                   const Value& first, const Value& second) {
  switch (placement) {
    case 0:
    case 1:
      return first;
    case 2:
      return windows32 ? second : first;
    default:
      return windows32 ? std::optional<Value>(first) : std::nullopt;
  }
}

// The value's text: whole UTF-16 units (little-endian) up to the first NUL.
platform::UnicodeString TextUpToNul(const platform::AnsiString& bytes) {
  platform::UnicodeString text;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto unit =
        static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                              (static_cast<unsigned char>(bytes[i + 1]) << 8));
    if (unit == u'\0') break;
    text.push_back(unit);
  }
  return text;
}

void CheckHomeText(const platform::AnsiString& home,
                   const platform::UnicodeString& text,
                   std::uint32_t code_page) {
  FUZZ_CHECK(home.find('\0') == platform::AnsiString::npos,
             "NUL in the home text");
  // The home is the conversion of the whole text before the first NUL: no
  // unit dropped, none from after the NUL.
  FakePlatform reference;
  reference.code_page = code_page;
  platform::AnsiString expected;
  if (!launcher::ToAnsi(reference, text, &expected)) expected.clear();
  FUZZ_CHECK(home == expected, "home is not the converted value text");
  if (code_page == 1252) {
    // One byte per unit; ASCII (separators, colon, blank) passes unchanged
    // and nothing else turns into ASCII other than the '?' default.
    FUZZ_CHECK(home.size() == text.size(), "unit count changed");
    for (std::size_t i = 0; i < text.size(); ++i) {
      const auto byte = static_cast<unsigned char>(home[i]);
      if (text[i] < 0x80) {
        FUZZ_CHECK(byte == text[i], "ASCII character changed");
      } else {
        FUZZ_CHECK(byte >= 0x80 || byte == '?', "look-alike became ASCII");
      }
    }
  } else if (!fuzz::HasLoneSurrogate(text)) {
    // UTF-8 holds every character: the text comes back unchanged.
    platform::UnicodeString back;
    FUZZ_CHECK(launcher::ToUnicode(reference, home, &back) && back == text,
               "UTF-8 home does not convert back to the value text");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  fuzz::InputReader input(data, size);
  const std::uint8_t setup = input.Byte();
  const bool windows32 = (setup & 1) != 0;
  const std::uint32_t code_page = (setup & 2) != 0 ? CP_UTF8 : 1252;
  const int placement = (setup >> 2) & 3;
  const int trouble = (setup >> 4) & 3;
  const std::uint32_t type = input.U32();
  std::size_t first_length = input.Byte();
  first_length |= static_cast<std::size_t>(input.Byte()) << 8;
  const Value first{type, input.Bytes(first_length)};
  const Value second{type, input.Rest()};

  FakePlatform fake(windows32 ? FakePlatform::Windows::Bits32
                              : FakePlatform::Windows::Bits64);
  fake.code_page = code_page;
  switch (placement) {
    case 0:
      fake.SetValue(Hive::Native64, kKey17, u"JavaHome", type,
                    ToVector(first.bytes));
      break;
    case 1:
      fake.SetValue(Hive::Wow32, kKey17, u"JavaHome", type,
                    ToVector(first.bytes));
      break;
    case 2:
      fake.SetValue(Hive::Native64, kKey17, u"JavaHome", type,
                    ToVector(first.bytes));
      fake.SetValue(Hive::Wow32, kKey17, u"JavaHome", type,
                    ToVector(second.bytes));
      break;
    default:
      fake.AddKey(Hive::Native64, kKey17);
      fake.SetValue(Hive::Wow32, kKey17, u"JavaHome", type,
                    ToVector(first.bytes));
      break;
  }
  if (trouble == 1) fake.value_read_error = ERROR_ACCESS_DENIED;
  if (trouble == 2) fake.value_growth = 2;

  // What must happen. A value of size 0 reads as empty whatever its type:
  // its data is never fetched.
  const std::optional<Value> decisive =
      DecisiveValue(windows32, placement, first, second);
  const bool readable = decisive && !decisive->bytes.empty();
  const char* expected_error = nullptr;
  if (readable && trouble != 0 && trouble != 3) {
    expected_error = "Failed to get data for 'JavaHome'";
  } else if (readable && decisive->type != REG_SZ &&
             decisive->type != REG_EXPAND_SZ) {
    expected_error = "Invalid data type for 'JavaHome'";
  }

  launcher::RegistryReadError error = launcher::RegistryReadError::None;
  const platform::AnsiString home =
      launcher::FindRegisteredRuntimeHome(fake, &error);
  if (error == launcher::RegistryReadError::None) {
    FUZZ_CHECK(
        expected_error == nullptr,
        platform::AnsiString("no error where one was due: ") + expected_error);
    CheckHomeText(home, readable ? TextUpToNul(decisive->bytes) : u"",
                  code_page);
  } else {
    const platform::AnsiString message =
        launcher::RegistryReadErrorMessage(fake, error, launcher::JavaHome);
    FUZZ_CHECK(expected_error != nullptr,
               platform::AnsiString("unexpected read error: ") + message);
    FUZZ_CHECK(message == expected_error,
               platform::AnsiString("wrong message: ") + message);
    FUZZ_CHECK(home.empty(), "a home beside a read error");
  }
  FUZZ_CHECK(fake.open_registry_keys() == 0, "a registry key is left open");
  FUZZ_CHECK(fake.open_handles() == 0, "a handle is left open");
  return 0;
}
