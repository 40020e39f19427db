// Platform over the real Windows calls.
#ifndef PLATFORM_WIN32_PLATFORM_H_
#define PLATFORM_WIN32_PLATFORM_H_

#include "platform/platform.h"
#include "platform/system_library.h"

namespace platform {

// Forwards each call to Windows. The kernel32 calls are imported; the
// registry calls and the message box come from advapi32 and user32, loaded
// the first time one of their calls is made. A DLL or function that cannot
// be had makes that call fail the way the call itself reports failures.
class Win32Platform final : public Platform {
 public:
  Win32Platform() = default;
  Win32Platform(const Win32Platform&) = delete;
  Win32Platform& operator=(const Win32Platform&) = delete;

  std::uint32_t GetLastError() override;
  std::uint32_t GetCurrentDirectoryW(std::uint32_t buffer_length,
                                     char16_t* buffer) override;
  std::uint32_t GetFileAttributesW(const char16_t* path) override;
  NativeHandle CreateFileW(const char16_t* path, std::uint32_t desired_access,
                           std::uint32_t share_mode,
                           std::uint32_t creation_disposition,
                           std::uint32_t flags_and_attributes) override;
  bool CloseHandle(NativeHandle handle) override;
  bool CreateProcessA(const ProcessStart& start,
                      ProcessInformation* started) override;
  std::uint32_t WaitForSingleObject(NativeHandle handle,
                                    std::uint32_t milliseconds) override;
  bool GetExitCodeProcess(NativeHandle process,
                          std::uint32_t* exit_code) override;
  bool SetDefaultDllDirectories(std::uint32_t directory_flags) override;
  std::uint32_t GetACP() override;
  int WideCharToMultiByte(std::uint32_t code_page, std::uint32_t flags,
                          const char16_t* wide, int wide_length,
                          char* multi_byte, int multi_byte_length) override;
  int MultiByteToWideChar(std::uint32_t code_page, std::uint32_t flags,
                          const char* multi_byte, int multi_byte_length,
                          char16_t* wide, int wide_length) override;
  std::int32_t RegOpenKeyExW(RegistryRoot root, const char16_t* sub_key,
                             std::uint32_t options,
                             std::uint32_t desired_access,
                             NativeHandle* key) override;
  std::int32_t RegQueryValueExW(NativeHandle key, const char16_t* value_name,
                                std::uint32_t* type, std::uint8_t* data,
                                std::uint32_t* data_size) override;
  std::int32_t RegCloseKey(NativeHandle key) override;
  int MessageBoxA(const char* text, const char* caption,
                  std::uint32_t type) override;

 private:
  SystemLibrary advapi32_{L"advapi32.dll"};
  SystemLibrary user32_{L"user32.dll"};
};

}  // namespace platform

#endif  // PLATFORM_WIN32_PLATFORM_H_
