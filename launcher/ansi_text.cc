#include "launcher/ansi_text.h"

#include <climits>

#include "platform/win32_api.h"

namespace launcher {

std::uint32_t WideToAnsiFlags(std::uint32_t code_page) {
  switch (code_page) {
    case 42:     // Symbol
    case 50220:  // ISO-2022 Japanese and its variants
    case 50221:
    case 50222:
    case 50225:  // ISO-2022 Korean
    case 50227:  // ISO-2022 Simplified Chinese
    case 50229:  // ISO-2022 Traditional Chinese
    case 54936:  // GB18030
    case CP_UTF7:
    case CP_UTF8:
      return 0;
    default:
      // 57002 to 57011: the ISCII code pages.
      if (code_page >= 57002 && code_page <= 57011) return 0;
      return WC_NO_BEST_FIT_CHARS;
  }
}

namespace {

// The two-call pattern of both conversion calls: ask for the size, then
// convert into a buffer of exactly that size.
template <typename From, typename To, typename ConvertCall>
bool ConvertWith(const From& text, To* result, ConvertCall convert) {
  result->clear();
  if (text.empty()) return true;
  if (text.size() > INT_MAX) return false;
  const int length = static_cast<int>(text.size());
  const int needed = convert(text.data(), length, nullptr, 0);
  if (needed <= 0) return false;
  result->resize(static_cast<std::size_t>(needed));
  const int written = convert(text.data(), length, &(*result)[0], needed);
  if (written <= 0) {
    result->clear();
    return false;
  }
  result->resize(static_cast<std::size_t>(written));
  return true;
}

}  // namespace

bool ToAnsi(platform::Platform& platform, const UnicodeString& text,
            AnsiString* result) {
  const std::uint32_t code_page = platform.GetACP();
  const std::uint32_t flags = WideToAnsiFlags(code_page);
  // No explicit default character: the code page's own one is used.
  return ConvertWith(
      text, result,
      [&](const char16_t* in, int in_length, char* out, int out_length) {
        return platform.WideCharToMultiByte(code_page, flags, in, in_length,
                                            out, out_length);
      });
}

bool ToUnicode(platform::Platform& platform, const AnsiString& text,
               UnicodeString* result) {
  const std::uint32_t code_page = platform.GetACP();
  return ConvertWith(
      text, result,
      [&](const char* in, int in_length, char16_t* out, int out_length) {
        return platform.MultiByteToWideChar(code_page, 0, in, in_length, out,
                                            out_length);
      });
}

}  // namespace launcher
