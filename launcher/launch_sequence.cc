#include "launcher/launch_sequence.h"

#include "launcher/child_process.h"
#include "launcher/runtime_lookup.h"
#include "platform/unique_handles.h"

namespace launcher {

bool IsAbsentError(std::uint32_t error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_NOT_READY:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
      return true;
    default:
      return false;
  }
}

bool AttributesNameFolder(std::uint32_t attributes) {
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool FolderExists(platform::Platform& platform, const AnsiString& path) {
  UnicodeString wide_path;
  if (!ToUnicode(platform, path, &wide_path)) return false;
  const std::uint32_t attributes =
      platform.GetFileAttributesW(wide_path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES)
    return !IsAbsentError(platform.GetLastError());
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
    return AttributesNameFolder(attributes);
  // A link's own attributes say nothing of its target; a dangling link or one
  // whose target cannot be reached does not open. Backup semantics are what
  // let CreateFileW open a directory at all.
  platform::UniqueHandle target(
      platform,
      platform.CreateFileW(wide_path.c_str(), GENERIC_READ, FILE_SHARE_READ,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS));
  return target.is_valid() && AttributesNameFolder(attributes);
}

bool ReadWorkingDirectory(platform::Platform& platform, AnsiString* directory,
                          std::uint32_t* error) {
  UnicodeString buffer(CurrentDirectoryBufferLength, u'\0');
  std::uint32_t length = 0;
  // A longer directory reports the size it needs; ask again with that much.
  // The second answer normally fits, but the directory can change in
  // between, so try a few times before giving up.
  for (int attempt = 0;; ++attempt) {
    length = platform.GetCurrentDirectoryW(
        static_cast<std::uint32_t>(buffer.size()), buffer.data());
    if (length == 0) {
      *error = platform.GetLastError();
      return false;
    }
    if (length < buffer.size()) break;
    if (attempt == 2) {
      *error = ERROR_INSUFFICIENT_BUFFER;
      return false;
    }
    buffer.assign(length, u'\0');
  }
  buffer.resize(length);
  if (!ToAnsi(platform, buffer, directory)) {
    *error = platform.GetLastError();
    return false;
  }
  return true;
}

std::uint32_t RunLauncher(platform::Platform& platform) {
  AnsiString working_directory;
  std::uint32_t error = ERROR_SUCCESS;
  if (!ReadWorkingDirectory(platform, &working_directory, &error)) {
    ReportLaunchFailure(platform, error);
    return error;
  }
  // The local runtime wins; the registry is then not read at all.
  AnsiString runtime_home = working_directory + LocalRuntimeFolder;
  if (!FolderExists(platform, runtime_home)) {
    RegistryReadError read_error = RegistryReadError::None;
    runtime_home = FindRegisteredRuntimeHome(platform, &read_error);
    if (read_error != RegistryReadError::None) {
      ShowError(platform,
                RegistryReadErrorMessage(platform, read_error, JavaHome));
      return RegistryErrorExitCode;
    }
    // Without a home the program would be the rooted "\bin\Javaw.exe",
    // which Windows resolves on the current drive, C:\bin\Javaw.exe: a folder
    // at the drive root that any user may create and fill. Nothing is started;
    // the runtime is reported as not found.
    if (runtime_home.empty()) {
      ReportLaunchFailure(platform, ERROR_FILE_NOT_FOUND);
      return ERROR_FILE_NOT_FOUND;
    }
  }
  const AnsiString runtime_launcher_path = runtime_home + RuntimeLauncherSuffix;
  return StartAndWait(
      platform,
      BuildCommandLine(runtime_launcher_path, working_directory, ArchiveName),
      working_directory);
}

std::uint32_t RunFromEntryPoint(platform::Platform& platform) {
  // Where the system offers it, DLLs this process loads later (advapi32 and
  // user32 when needed, the message box's theme libraries) come from System32
  // only, never from the launcher's folder or the current directory. The
  // child is unaffected.
  platform.SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  return RunLauncher(platform);
}

}  // namespace launcher
