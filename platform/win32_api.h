// The Win32 names the launcher's portable code uses. On Windows they come
// from <windows.h>; on other hosts (unit tests, fuzzing) they are typed
// constants with the values the Windows SDK gives them, so the decisions read
// exactly like the Win32 code they drive. The Windows build checks each value
// against the SDK's.
#ifndef PLATFORM_WIN32_API_H_
#define PLATFORM_WIN32_API_H_

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdint>

#define WIN32_VALUE(name, value) inline constexpr std::uint32_t name = value;
#include "platform/win32_values.inc"
#undef WIN32_VALUE
#endif  // _WIN32

#endif  // PLATFORM_WIN32_API_H_
