#include "launcher/runtime_lookup.h"

#include <cstdio>
#include <vector>

namespace launcher {

namespace {

[[noreturn]] void ThrowReadError(platform::Platform& platform,
                                 const char* format, const char16_t* name) {
  AnsiString ansi_name;
  ToAnsi(platform, name, &ansi_name);
  std::vector<char> message(std::char_traits<char>::length(format) +
                            ansi_name.size() + 1);
  std::snprintf(message.data(), message.size(), format, ansi_name.c_str());
  throw RegistryReadError(message.data());
}

}  // namespace

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

UnicodeString RegistryAccessor::ReadString(const char16_t* name) {
  if (!key_.is_valid()) return UnicodeString();
  std::uint32_t type = REG_NONE;
  std::uint32_t size = 0;
  if (platform_.RegQueryValueExW(key_.get(), name, &type, nullptr, &size) !=
          ERROR_SUCCESS ||
      size == 0) {
    return UnicodeString();
  }
  // Room for every byte of the value, an odd last byte included, so the read
  // never runs past the buffer; only whole UTF-16 units count as text.
  std::vector<char16_t> units(size / 2 + size % 2);
  std::uint32_t read_size = size;
  if (platform_.RegQueryValueExW(key_.get(), name, &type,
                                 reinterpret_cast<std::uint8_t*>(units.data()),
                                 &read_size) != ERROR_SUCCESS) {
    ThrowReadError(platform_, FailedToGetDataFormat, name);
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ)
    ThrowReadError(platform_, InvalidDataTypeFormat, name);
  // The value need not end in a NUL, and may hold more after one; the text
  // ends at the first NUL or at the last whole unit the read delivered.
  const std::size_t whole_units = read_size / 2;
  std::size_t length = 0;
  while (length < whole_units && units[length] != u'\0') ++length;
  return UnicodeString(units.data(), length);
}

AnsiString FindRegisteredRuntimeHome(platform::Platform& platform) {
  const UnicodeString key_path = UnicodeString(RuntimeKeyBase) + RuntimeVersion;
  UnicodeString home;
  for (RegistryView view : {RegistryView::Bit64, RegistryView::Default}) {
    RegistryAccessor accessor(platform, view);
    if (!accessor.KeyExists(key_path)) continue;
    // The first view that has the key decides, even without a usable value.
    if (accessor.OpenKey(key_path)) home = accessor.ReadString(JavaHome);
    break;
  }
  AnsiString ansi_home;
  // A home that cannot be converted is as good as none: the start then fails
  // and is reported.
  if (!ToAnsi(platform, home, &ansi_home)) ansi_home.clear();
  return ansi_home;
}

}  // namespace launcher
