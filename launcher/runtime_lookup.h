// Finds the home directory of the Java 1.7 runtime registered on the machine.
#ifndef LAUNCHER_RUNTIME_LOOKUP_H_
#define LAUNCHER_RUNTIME_LOOKUP_H_

#include <cstdint>

#include "launcher/ansi_text.h"
#include "platform/platform.h"
#include "platform/unique_handles.h"
#include "platform/win32_api.h"

namespace launcher {

// Registry path of the runtime registrations, relative to HKEY_LOCAL_MACHINE.
inline constexpr char16_t RuntimeKeyBase[] =
    u"Software\\JavaSoft\\Java Runtime Environment\\";
// The runtime version looked for, a sub-key of RuntimeKeyBase.
inline constexpr char16_t RuntimeVersion[] = u"1.7";
// The value that holds the runtime's home directory.
inline constexpr char16_t JavaHome[] = u"JavaHome";

// Messages of the two registry read errors; %s takes the value name.
inline constexpr char FailedToGetDataFormat[] = "Failed to get data for '%s'";
inline constexpr char InvalidDataTypeFormat[] = "Invalid data type for '%s'";

// Rights of the existence probe, before the view bits are added.
inline constexpr std::uint32_t ProbeRights =
    STANDARD_RIGHTS_READ | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS;

// Which registry view a lookup reads through, as the access mask that opens
// keys in it. A 32-bit process on 64-bit Windows sees the 32-bit view by
// default and reaches the 64-bit one only with KEY_WOW64_64KEY; on 32-bit
// Windows the flag is ignored and both reach the one registry.
enum class RegistryView : std::uint32_t {
  Bit64 = KEY_READ | KEY_WOW64_64KEY,
  Default = KEY_READ,
};

// The probe mask of a view: the narrow probe rights plus the view's bits.
std::uint32_t ProbeMask(RegistryView view);

// What reading a value that exists can come to besides its text: its data
// could not be read after its size was, or it is not text.
enum class RegistryReadError {
  None,
  FailedToGetData,
  InvalidDataType,
};

// The message the launcher shows for |error| of the value |name|:
// FailedToGetDataFormat or InvalidDataTypeFormat with the name in place.
AnsiString RegistryReadErrorMessage(platform::Platform& platform,
                                    RegistryReadError error,
                                    const char16_t* name);

// Reads through one registry view under HKEY_LOCAL_MACHINE, holding at most
// one open key, which it closes when it goes away.
class RegistryAccessor {
 public:
  RegistryAccessor(platform::Platform& platform, RegistryView view);

  // Opens |path| with the probe mask and closes it again at once.
  bool KeyExists(const UnicodeString& path);
  // Opens |path| with the view's access mask, replacing the open key.
  bool OpenKey(const UnicodeString& path);
  // Reads into |text| a REG_SZ or REG_EXPAND_SZ value of the open key, up to
  // its first NUL and unexpanded; empty when there is no open key, no such
  // value, or the value is empty. Returns the read error, with |text| empty,
  // when the value's data cannot be read after its size was, or when it is of
  // another type.
  RegistryReadError ReadString(const char16_t* name, UnicodeString* text);

 private:
  platform::Platform& platform_;
  RegistryView view_;
  platform::UniqueRegistryKey key_;
};

// The registered runtime's JavaHome, from the 64-bit view when the 1.7 key
// exists there (even without a usable value), else from the default view;
// empty when neither has the key. A value that cannot be read or is not text
// gives empty text and its error in |error| (None otherwise). Holds no key
// open when it returns.
AnsiString FindRegisteredRuntimeHome(platform::Platform& platform,
                                     RegistryReadError* error);

}  // namespace launcher

#endif  // LAUNCHER_RUNTIME_LOOKUP_H_
