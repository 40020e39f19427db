// The launcher's entry logic: find the working directory, choose the Java
// runtime (the one shipped beside the archive, else the registered one) and
// start the archive on it.
#ifndef LAUNCHER_LAUNCH_SEQUENCE_H_
#define LAUNCHER_LAUNCH_SEQUENCE_H_

#include <cstdint>

#include "launcher/ansi_text.h"
#include "platform/platform.h"
#include "platform/win32_api.h"

namespace launcher {

// The application archive, looked for in the working directory.
inline constexpr char ArchiveName[] = "molk2014.jar";
// Appended to the working directory to name the local runtime folder.
inline constexpr char LocalRuntimeFolder[] = "\\Java";
// Appended to a runtime's home directory to name its windowless launcher.
inline constexpr char RuntimeLauncherSuffix[] = "\\bin\\Javaw.exe";
// The first buffer offered to GetCurrentDirectoryW: MAX_PATH characters and
// the terminator.
inline constexpr std::uint32_t CurrentDirectoryBufferLength = MAX_PATH + 1;

// Whether a failed GetFileAttributesW with |error| means that nothing is at
// the path. Any other failure (access denied, a sharing violation) means
// something is there that cannot be looked at.
bool IsAbsentError(std::uint32_t error);

// What the folder check concludes from a path's attributes: whether they say
// directory. Reparse points (links, junctions, mount points) need the target
// to open as well; see FolderExists.
bool AttributesNameFolder(std::uint32_t attributes);

// Whether |path| names a folder, links followed: absent for the errors of
// IsAbsentError, present for any other failure to read the attributes, and a
// reparse point counts only when its target opens.
bool FolderExists(platform::Platform& platform, const AnsiString& path);

// Reads the current directory into |directory|, growing the buffer when the
// first one is too small. On failure returns false and the error code in
// |error|.
bool ReadWorkingDirectory(platform::Platform& platform, AnsiString* directory,
                          std::uint32_t* error);

// The exit code after a registry read error has been reported.
inline constexpr std::uint32_t RegistryErrorExitCode = 1;

// The launch sequence: the local runtime's launcher when its folder exists
// (the registry is then not read), else the registered runtime's. Returns the
// child's exit code; or, after reporting it in the error box, the error code
// of a start that failed, ERROR_FILE_NOT_FOUND when no runtime is registered
// (nothing is started then), or RegistryErrorExitCode for a JavaHome that
// cannot be read or is not text.
std::uint32_t RunLauncher(platform::Platform& platform);

// What WinMain runs: restricts this process's DLL search to System32 where
// the system allows it, then runs RunLauncher and returns its result.
std::uint32_t RunFromEntryPoint(platform::Platform& platform);

}  // namespace launcher

#endif  // LAUNCHER_LAUNCH_SEQUENCE_H_
