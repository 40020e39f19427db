// Starts the Java runtime's windowless launcher on the archive, hidden, and
// waits for it; reports a start that failed.
#ifndef LAUNCHER_CHILD_PROCESS_H_
#define LAUNCHER_CHILD_PROCESS_H_

#include <cstdint>

#include "launcher/ansi_text.h"
#include "platform/platform.h"

namespace launcher {

// Runtime options: run the archive with a 768 MB heap. The closing double
// quote opens the quoted archive path.
inline constexpr char LaunchOptions[] = " -jar -Xmx768m \"";
// Text of the failure message; %d takes the error code in signed decimal.
inline constexpr char ErrorFormat[] = "Erro %d ao executar o aplicativo.";
// Caption of every message box the launcher shows.
inline constexpr char ErrorCaption[] = "Erro";

// The command line: the runtime launcher path in double quotes (so a path
// with blanks names one program and no leading piece of it can be run
// instead), LaunchOptions, then the working directory, a backslash and the
// archive name, closed by a double quote. Nothing is added or removed in
// between: a working directory that is a drive root gives a doubled
// backslash, which Windows accepts.
AnsiString BuildCommandLine(const AnsiString& runtime_launcher_path,
                            const AnsiString& working_directory,
                            const AnsiString& archive_name);

// What CreateProcessA gets: no application name, handles inherited, no
// creation flags, the launcher's environment, the given working directory,
// and a window shown hidden.
platform::ProcessStart ChildProcessStart(const AnsiString& command_line,
                                         const AnsiString& working_directory);

// Starts the child and blocks until it has ended, holding nothing but its
// process and thread handles meanwhile. Returns the child's exit code. When
// the start fails, shows the failure message and returns its error code once
// the box is closed; when waiting for the child or reading its exit code
// fails, returns that error code.
std::uint32_t StartAndWait(platform::Platform& platform,
                           const AnsiString& command_line,
                           const AnsiString& working_directory);

// The failure message for |error_code|, as the box shows it.
AnsiString FormatLaunchFailure(std::uint32_t error_code);

// Shows the failure message for |error_code| in a modal box with no owner
// and returns once the user has closed it.
void ReportLaunchFailure(platform::Platform& platform,
                         std::uint32_t error_code);

// Shows |message| in the launcher's error box and returns once it is closed.
void ShowError(platform::Platform& platform, const AnsiString& message);

}  // namespace launcher

#endif  // LAUNCHER_CHILD_PROCESS_H_
