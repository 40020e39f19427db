// A model of the Windows the launcher talks to, for unit tests. It behaves
// rather than records: a file system with attributes and reparse points, two
// registry views as a 32-bit process sees them on 64-bit or 32-bit Windows,
// code-page conversion with and without best fit, processes that start only
// when their program exists and their current directory is a folder shorter
// than MAX_PATH, and the thread's last-error code set the way the real calls
// set it. Knobs force the failures that are hard to arrange on a
// real machine.
//
// It also polices the launcher: closing a handle it does not own, starting a
// child while a registry key or file handle is open, and leaving any handle
// open when the fake goes away each fail the running test.
#ifndef PLATFORM_FAKE_PLATFORM_H_
#define PLATFORM_FAKE_PLATFORM_H_

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform {

class FakePlatform final : public Platform {
 public:
  // The Windows under the 32-bit launcher process.
  enum class Windows {
    Bits64,  // WOW64: the default view is the 32-bit one
    Bits32,  // one registry, KEY_WOW64_64KEY ignored
  };
  // The registry as stored: on 32-bit Windows only Native exists.
  enum class Hive { Native64, Wow32 };
  static constexpr Hive Native = Hive::Native64;

  struct FileEntry {
    std::uint32_t attributes = 0;
    // Non-zero: GetFileAttributesW fails with this error.
    std::uint32_t attributes_error = 0;
    // Non-zero: CreateFileW fails with this error (a dangling link, say).
    std::uint32_t open_error = 0;
  };

  struct RegistryValue {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
  };

  struct MessageBox {
    AnsiString text;
    AnsiString caption;
    std::uint32_t type = 0;
  };

  explicit FakePlatform(Windows windows = Windows::Bits64);
  ~FakePlatform() override;
  FakePlatform(const FakePlatform&) = delete;
  FakePlatform& operator=(const FakePlatform&) = delete;

  // --- The machine -------------------------------------------------------
  void SetCurrentDirectory(const UnicodeString& directory) {
    current_directory_ = directory;
  }
  // File paths are compared as Windows compares them: without regard to
  // case, with '/' as a separator and runs of separators folded. Adding a
  // path adds the folders above it.
  void AddFolder(const UnicodeString& path, std::uint32_t extra_attributes = 0);
  void AddFile(const UnicodeString& path, std::uint32_t attributes = 0x20);
  FileEntry& Entry(const UnicodeString& path);
  // Registry names are not file paths. Key and value names compare without
  // regard to case, and that is all: '/' is an ordinary character in them (a
  // key "a/b" is no key "b" under "a"), a value name may hold backslashes,
  // and a run of backslashes in a key path is not folded into one. Only the
  // backslashes that end a key path are ignored, as RegOpenKeyExW ignores
  // them.
  void AddKey(Hive hive, const UnicodeString& key);
  void SetValue(Hive hive, const UnicodeString& key, const UnicodeString& name,
                std::uint32_t type, std::vector<std::uint8_t> data);
  // A REG_SZ (or |type|) value holding |text| and its terminating NUL.
  void SetString(Hive hive, const UnicodeString& key, const UnicodeString& name,
                 const UnicodeString& text, std::uint32_t type = 1);
  static std::vector<std::uint8_t> Bytes(const UnicodeString& text);

  // --- Knobs -------------------------------------------------------------
  std::uint32_t code_page = 1252;
  bool dll_directories_available = true;
  // Non-zero: GetCurrentDirectoryW fails with this error.
  std::uint32_t current_directory_error = 0;
  // Characters appended to the current directory each time a read finds the
  // buffer too small, as if it changed in between.
  std::size_t current_directory_growth = 0;
  // Non-zero: every RegOpenKeyExW with exactly this access mask fails with
  // registry_open_error.
  std::uint32_t registry_open_failing_mask = 0;
  std::int32_t registry_open_error = 0;
  // Non-zero: advapi32 or user32 cannot be loaded (or lacks the function),
  // which the Windows build finds out at the first registry call or box.
  // Every registry call then returns this error; MessageBoxA returns 0 with
  // this last-error code, as the calls themselves report failures.
  std::int32_t advapi32_unavailable_error = 0;
  std::uint32_t user32_unavailable_error = 0;
  // Non-zero: reading a value's data (not its size) fails with this error.
  std::int32_t value_read_error = 0;
  // Bytes a value gains between the size query and the data read.
  std::size_t value_growth = 0;
  // Non-zero: CreateProcessA fails with this error whatever it starts.
  std::uint32_t start_error = 0;
  std::uint32_t child_exit_code = 0;
  // Non-zero: waiting for the child fails with this error.
  std::uint32_t wait_error = 0;
  // Non-zero: reading the child's exit code fails with this error.
  std::uint32_t exit_code_error = 0;

  // The error code of a failed call is that call's own only until the
  // caller's next heap free: on Windows HeapFree is a call like any other and
  // need not leave the code alone. The fake's own calls free their working
  // text inside the call without touching the code (see InCall), so a
  // failed call returns with exactly its error set. Any free outside them
  // (the launcher's text going out of scope, say) puts this value in the
  // code instead, so a caller that reads GetLastError() late reads this and
  // its test fails.
  std::uint32_t last_error_after_heap_free = 0xFEEDu;

  // --- What happened -----------------------------------------------------
  // Every call of the Platform interface in order, whatever its outcome, as
  // "CallName" or "CallName detail": the conversions give their code page
  // and flags ("WideCharToMultiByte 1252 1024"), CloseHandle the kind of
  // handle ("CloseHandle file", or "CloseHandle not open").
  std::vector<std::string> calls;
  std::vector<ProcessStart> started;
  std::vector<MessageBox> boxes;
  int open_registry_keys() const;
  int open_files() const;
  int open_handles() const { return static_cast<int>(handles_.size()); }
  // The access masks RegOpenKeyExW was called with, in order.
  std::vector<std::uint32_t> registry_open_masks;

  // --- Platform ----------------------------------------------------------
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
                      ProcessInformation* started_process) override;
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
  // Marks the time inside one of the fake's own calls, whose frees of its
  // working text do not count as the caller's.
  class InCall {
   public:
    explicit InCall(FakePlatform& fake) : fake_(fake) {
      ++fake_.calls_in_progress_;
    }
    ~InCall() { --fake_.calls_in_progress_; }
    InCall(const InCall&) = delete;
    InCall& operator=(const InCall&) = delete;

   private:
    FakePlatform& fake_;
  };
  static void OnHeapRelease();

  enum class HandleKind { File, RegistryKey, Process, Thread };
  struct OpenHandle {
    HandleKind kind;
    Hive hive = Hive::Native64;
    UnicodeString key;  // registry keys: the path as KeyPath gives it
    std::uint32_t access = 0;
    bool ended = false;  // processes: whether it has been waited for
  };
  using Key = std::map<UnicodeString, RegistryValue>;

  // A file path as the file calls compare it.
  static UnicodeString Normalize(const UnicodeString& path);
  // A key path, and a value name, as the registry calls compare them.
  static UnicodeString KeyPath(const UnicodeString& path);
  static UnicodeString ValueName(const char16_t* name);
  // Adds the folders above |normalized| that are not there yet.
  void AddParents(const UnicodeString& normalized);
  Hive HiveFor(std::uint32_t access) const;
  std::map<UnicodeString, Key>& Registry(Hive hive);
  NativeHandle NewHandle(OpenHandle handle);
  OpenHandle* Find(NativeHandle handle, HandleKind kind);
  UnicodeString Widen(const AnsiString& ansi) const;
  // The error Windows gives for a path that names nothing.
  std::uint32_t MissingPathError(const UnicodeString& normalized) const;
  void Fail(std::uint32_t error) { last_error_ = error; }

  Windows windows_;
  int calls_in_progress_ = 0;
  std::uint32_t last_error_ = 0;
  UnicodeString current_directory_ = u"C:\\App";
  std::map<UnicodeString, FileEntry> files_;
  std::map<UnicodeString, Key> registry64_;
  std::map<UnicodeString, Key> registry32_;
  std::map<NativeHandle, OpenHandle> handles_;
  std::uintptr_t next_handle_ = 0x100;
};

// UTF-8 text of a UTF-16 string, for test messages.
std::string Narrow(const UnicodeString& text);

}  // namespace platform

#endif  // PLATFORM_FAKE_PLATFORM_H_
