// The printf-style formatting the launcher's messages need, without the C
// runtime's printf: one "%d" or "%s" per message.
#ifndef LAUNCHER_TEXT_FORMAT_H_
#define LAUNCHER_TEXT_FORMAT_H_

#include <cstdint>

#include "platform/platform.h"

namespace launcher {

using platform::AnsiString;

// |value| in signed decimal, as printf's "%d" writes it: a minus sign for a
// negative value, INT32_MIN included, and no leading zeros.
AnsiString SignedDecimal(std::int32_t value);

// |format| with its first conversion ("%d", "%s": a '%' and the character
// after it) replaced by |argument|, the rest copied unchanged. A format
// without one is returned as it stands.
AnsiString FormatWith(const char* format, const AnsiString& argument);

}  // namespace launcher

#endif  // LAUNCHER_TEXT_FORMAT_H_
