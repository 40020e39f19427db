// Conversions between the UTF-16 text the wide Windows calls deliver and the
// ANSI text the launcher composes its paths and command line in. Both use the
// system ANSI code page as GetACP reports it.
#ifndef LAUNCHER_ANSI_TEXT_H_
#define LAUNCHER_ANSI_TEXT_H_

#include <cstdint>

#include "platform/platform.h"

namespace launcher {

using platform::AnsiString;
using platform::UnicodeString;

// The WideCharToMultiByte flags for |code_page|: WC_NO_BEST_FIT_CHARS, so a
// character the code page lacks becomes its default character instead of a
// look-alike ('/' for U+2215, '\' for U+FF3C, '"' for U+FF02) that would
// change what a path or command line means. The code pages that reject any
// such flag with ERROR_INVALID_FLAGS (UTF-7, UTF-8, GB18030, the ISO-2022 and
// ISCII families, Symbol) are converted without flags; they have no best-fit
// tables to begin with.
std::uint32_t WideToAnsiFlags(std::uint32_t code_page);

// Converts |text| to the ANSI code page. On failure returns false with the
// thread's last-error code set by the platform; read it at once.
bool ToAnsi(platform::Platform& platform, const UnicodeString& text,
            AnsiString* result);

// Converts |text| from the ANSI code page, without flags. On failure returns
// false with the thread's last-error code set by the platform.
bool ToUnicode(platform::Platform& platform, const AnsiString& text,
               UnicodeString* result);

}  // namespace launcher

#endif  // LAUNCHER_ANSI_TEXT_H_
