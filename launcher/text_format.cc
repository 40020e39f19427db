#include "launcher/text_format.h"

namespace launcher {

AnsiString SignedDecimal(std::int32_t value) {
  // The magnitude in unsigned arithmetic, where -INT32_MIN still fits.
  std::uint32_t magnitude = static_cast<std::uint32_t>(value);
  if (value < 0) magnitude = 0u - magnitude;
  char digits[10];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  AnsiString text;
  if (value < 0) text.push_back('-');
  while (count > 0) text.push_back(digits[--count]);
  return text;
}

AnsiString FormatWith(const char* format, const AnsiString& argument) {
  AnsiString text;
  const char* c = format;
  for (; *c != '\0'; ++c) {
    if (c[0] == '%' && c[1] != '\0') {
      text += argument;
      text += c + 2;
      return text;
    }
    text.push_back(*c);
  }
  return text;
}

}  // namespace launcher
