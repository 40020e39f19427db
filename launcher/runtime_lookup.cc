#include "launcher/runtime_lookup.h"

#include "launcher/text_format.h"

namespace launcher {

AnsiString RegistryReadErrorMessage(platform::Platform& platform,
                                    RegistryReadError error,
                                    const char16_t* name) {
  AnsiString ansi_name;
  if (!ToAnsi(platform, name, &ansi_name)) ansi_name.clear();
  return FormatWith(error == RegistryReadError::FailedToGetData
                        ? FailedToGetDataFormat
                        : InvalidDataTypeFormat,
                    ansi_name);
}

std::uint32_t ProbeMask(RegistryView view) {
  return ProbeRights | (static_cast<std::uint32_t>(view) & KEY_WOW64_RES);
}

RegistryAccessor::RegistryAccessor(platform::Platform& platform,
                                   RegistryView view)
    : platform_(platform), view_(view), key_(platform) {}

bool RegistryAccessor::KeyExists(const UnicodeString& path) {
  platform::UniqueRegistryKey probe(platform_);
  return platform_.RegOpenKeyExW(platform::RegistryRoot::LocalMachine,
                                 path.c_str(), 0, ProbeMask(view_),
                                 probe.put()) == ERROR_SUCCESS;
}

bool RegistryAccessor::OpenKey(const UnicodeString& path) {
  if (platform_.RegOpenKeyExW(
          platform::RegistryRoot::LocalMachine, path.c_str(), 0,
          static_cast<std::uint32_t>(view_), key_.put()) == ERROR_SUCCESS) {
    return true;
  }
  key_.reset();
  return false;
}

RegistryReadError RegistryAccessor::ReadString(const char16_t* name,
                                               UnicodeString* text) {
  text->clear();
  if (!key_.is_valid()) return RegistryReadError::None;
  std::uint32_t type = REG_NONE;
  std::uint32_t size = 0;
  if (platform_.RegQueryValueExW(key_.get(), name, &type, nullptr, &size) !=
          ERROR_SUCCESS ||
      size == 0) {
    return RegistryReadError::None;
  }
  // Room for every byte of the value, an odd last byte included, so the read
  // never runs past the buffer; only whole UTF-16 units count as text.
  UnicodeString units(size / 2 + size % 2, u'\0');
  std::uint32_t read_size = size;
  if (platform_.RegQueryValueExW(key_.get(), name, &type,
                                 reinterpret_cast<std::uint8_t*>(units.data()),
                                 &read_size) != ERROR_SUCCESS) {
    return RegistryReadError::FailedToGetData;
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ)
    return RegistryReadError::InvalidDataType;
  // The value need not end in a NUL, and may hold more after one; the text
  // ends at the first NUL or at the last whole unit the read delivered.
  const std::size_t whole_units = read_size / 2;
  std::size_t length = 0;
  while (length < whole_units && units[length] != u'\0') ++length;
  text->assign(units, 0, length);
  return RegistryReadError::None;
}

AnsiString FindRegisteredRuntimeHome(platform::Platform& platform,
                                     RegistryReadError* error) {
  *error = RegistryReadError::None;
  const UnicodeString key_path = UnicodeString(RuntimeKeyBase) + RuntimeVersion;
  UnicodeString home;
  for (RegistryView view : {RegistryView::Bit64, RegistryView::Default}) {
    RegistryAccessor accessor(platform, view);
    if (!accessor.KeyExists(key_path)) continue;
    // The first view that has the key decides, even without a usable value.
    if (accessor.OpenKey(key_path))
      *error = accessor.ReadString(JavaHome, &home);
    break;
  }
  AnsiString ansi_home;
  // A home that cannot be converted is as good as none.
  if (!ToAnsi(platform, home, &ansi_home)) ansi_home.clear();
  return ansi_home;
}

}  // namespace launcher
