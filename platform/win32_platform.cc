#include "platform/win32_platform.h"

#include <windows.h>

namespace platform {

namespace {

// The wide calls take wchar_t, which is UTF-16 on Windows.
static_assert(sizeof(wchar_t) == sizeof(char16_t), "wchar_t is UTF-16");
const wchar_t* Wide(const char16_t* text) {
  return reinterpret_cast<const wchar_t*>(text);
}
wchar_t* Wide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }

static_assert(sizeof(DWORD) == sizeof(std::uint32_t), "DWORD is 32 bits");
// The values the host builds use for the Win32 names are the SDK's.
#define WIN32_VALUE(name, value)                                             \
  static_assert(                                                             \
      static_cast<std::uint32_t>(name) == static_cast<std::uint32_t>(value), \
      #name " has the SDK's value");
#include "platform/win32_values.inc"
#undef WIN32_VALUE

#if !defined(_WIN64)
// The 32-bit STARTUPINFOA, whose size goes into its cb field.
static_assert(sizeof(STARTUPINFOA) == 68, "STARTUPINFOA of a 32-bit process");
#endif

HKEY RootKey(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::LocalMachine:
      return HKEY_LOCAL_MACHINE;
  }
  return nullptr;
}

}  // namespace

std::uint32_t Win32Platform::GetLastError() { return ::GetLastError(); }

std::uint32_t Win32Platform::GetCurrentDirectoryW(std::uint32_t buffer_length,
                                                  char16_t* buffer) {
  return ::GetCurrentDirectoryW(buffer_length, Wide(buffer));
}

std::uint32_t Win32Platform::GetFileAttributesW(const char16_t* path) {
  return ::GetFileAttributesW(Wide(path));
}

NativeHandle Win32Platform::CreateFileW(const char16_t* path,
                                        std::uint32_t desired_access,
                                        std::uint32_t share_mode,
                                        std::uint32_t creation_disposition,
                                        std::uint32_t flags_and_attributes) {
  return ::CreateFileW(Wide(path), desired_access, share_mode, nullptr,
                       creation_disposition, flags_and_attributes, nullptr);
}

bool Win32Platform::CloseHandle(NativeHandle handle) {
  return ::CloseHandle(handle) != FALSE;
}

bool Win32Platform::CreateProcessA(const ProcessStart& start,
                                   ProcessInformation* started) {
  STARTUPINFOA startup_info = {};
  startup_info.cb = sizeof(startup_info);
  startup_info.dwFlags = start.startup.flags;
  startup_info.wShowWindow = start.startup.show_window;
  PROCESS_INFORMATION info = {};
  BOOL ok = FALSE;
  DWORD error = ERROR_SUCCESS;
  {
    // The command-line argument must be writable memory.
    AnsiString command_line = start.command_line;
    ok = ::CreateProcessA(
        start.application_name, command_line.data(), nullptr, nullptr,
        start.inherit_handles ? TRUE : FALSE, start.creation_flags,
        const_cast<void*>(start.environment),
        start.current_directory.empty() ? nullptr
                                        : start.current_directory.c_str(),
        &startup_info, &info);
    if (!ok) error = ::GetLastError();
  }
  if (!ok) {
    // The copy's free may have changed the thread's last-error code; the
    // caller reads the start's own.
    ::SetLastError(error);
    return false;
  }
  started->process = info.hProcess;
  started->thread = info.hThread;
  started->process_id = info.dwProcessId;
  started->thread_id = info.dwThreadId;
  return true;
}

std::uint32_t Win32Platform::WaitForSingleObject(NativeHandle handle,
                                                 std::uint32_t milliseconds) {
  return ::WaitForSingleObject(handle, milliseconds);
}

bool Win32Platform::GetExitCodeProcess(NativeHandle process,
                                       std::uint32_t* exit_code) {
  DWORD code = 0;
  if (!::GetExitCodeProcess(process, &code)) return false;
  *exit_code = code;
  return true;
}

bool Win32Platform::SetDefaultDllDirectories(std::uint32_t directory_flags) {
  // Vista and Windows 7 without KB2533623 lack the call, so it is looked up
  // rather than imported. kernel32 is always loaded.
  using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
  const HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
  const FARPROC address =
      kernel32 ? ::GetProcAddress(kernel32, "SetDefaultDllDirectories")
               : nullptr;
  if (!address) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return false;
  }
  return AsFunction<SetDefaultDllDirectoriesFunction>(address)(
             directory_flags) != FALSE;
}

std::uint32_t Win32Platform::GetACP() { return ::GetACP(); }

int Win32Platform::WideCharToMultiByte(std::uint32_t code_page,
                                       std::uint32_t flags,
                                       const char16_t* wide, int wide_length,
                                       char* multi_byte,
                                       int multi_byte_length) {
  return ::WideCharToMultiByte(code_page, flags, Wide(wide), wide_length,
                               multi_byte, multi_byte_length, nullptr, nullptr);
}

int Win32Platform::MultiByteToWideChar(std::uint32_t code_page,
                                       std::uint32_t flags,
                                       const char* multi_byte,
                                       int multi_byte_length, char16_t* wide,
                                       int wide_length) {
  return ::MultiByteToWideChar(code_page, flags, multi_byte, multi_byte_length,
                               Wide(wide), wide_length);
}

std::int32_t Win32Platform::RegOpenKeyExW(RegistryRoot root,
                                          const char16_t* sub_key,
                                          std::uint32_t options,
                                          std::uint32_t desired_access,
                                          NativeHandle* key) {
  *key = nullptr;
  const auto reg_open_key_ex =
      advapi32_.Find<decltype(&::RegOpenKeyExW)>("RegOpenKeyExW");
  if (reg_open_key_ex == nullptr)
    return static_cast<std::int32_t>(::GetLastError());
  HKEY opened = nullptr;
  const LONG result = reg_open_key_ex(RootKey(root), Wide(sub_key), options,
                                      desired_access, &opened);
  *key = result == ERROR_SUCCESS ? opened : nullptr;
  return result;
}

std::int32_t Win32Platform::RegQueryValueExW(NativeHandle key,
                                             const char16_t* value_name,
                                             std::uint32_t* type,
                                             std::uint8_t* data,
                                             std::uint32_t* data_size) {
  const auto reg_query_value_ex =
      advapi32_.Find<decltype(&::RegQueryValueExW)>("RegQueryValueExW");
  if (reg_query_value_ex == nullptr)
    return static_cast<std::int32_t>(::GetLastError());
  DWORD value_type = 0;
  DWORD size = data_size ? *data_size : 0;
  const LONG result =
      reg_query_value_ex(static_cast<HKEY>(key), Wide(value_name), nullptr,
                         &value_type, data, data_size ? &size : nullptr);
  if (type) *type = value_type;
  if (data_size) *data_size = size;
  return result;
}

std::int32_t Win32Platform::RegCloseKey(NativeHandle key) {
  const auto reg_close_key =
      advapi32_.Find<decltype(&::RegCloseKey)>("RegCloseKey");
  if (reg_close_key == nullptr)
    return static_cast<std::int32_t>(::GetLastError());
  return reg_close_key(static_cast<HKEY>(key));
}

int Win32Platform::MessageBoxA(const char* text, const char* caption,
                               std::uint32_t type) {
  const auto message_box =
      user32_.Find<decltype(&::MessageBoxA)>("MessageBoxA");
  // 0 is how MessageBoxA itself fails, with the last-error code set.
  if (message_box == nullptr) return 0;
  return message_box(nullptr, text, caption, type);
}

}  // namespace platform
