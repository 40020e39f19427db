#include "launcher/child_process.h"

#include "launcher/text_format.h"
#include "platform/unique_handles.h"
#include "platform/win32_api.h"

namespace launcher {

AnsiString BuildCommandLine(const AnsiString& runtime_launcher_path,
                            const AnsiString& working_directory,
                            const AnsiString& archive_name) {
  return "\"" + runtime_launcher_path + "\"" + LaunchOptions +
         working_directory + "\\" + archive_name + "\"";
}

platform::ProcessStart ChildProcessStart(const AnsiString& command_line,
                                         const AnsiString& working_directory) {
  platform::ProcessStart start;
  start.application_name = nullptr;
  start.command_line = command_line;
  start.inherit_handles = true;
  start.creation_flags = 0;
  start.environment = nullptr;
  start.current_directory = working_directory;
  start.startup.flags = STARTF_USESHOWWINDOW;
  start.startup.show_window = SW_HIDE;
  return start;
}

std::uint32_t StartAndWait(platform::Platform& platform,
                           const AnsiString& command_line,
                           const AnsiString& working_directory) {
  // A named value, not a temporary: freeing its text between the failed call
  // and the read of its error code could change that code.
  const platform::ProcessStart start =
      ChildProcessStart(command_line, working_directory);
  platform::UniqueProcessInformation child(platform);
  if (!platform.CreateProcessA(start, child.put())) {
    const std::uint32_t error = platform.GetLastError();
    ReportLaunchFailure(platform, error);
    return error;
  }
  if (platform.WaitForSingleObject(child.get().process, INFINITE) !=
      WAIT_OBJECT_0) {
    return platform.GetLastError();
  }
  std::uint32_t exit_code = 0;
  if (!platform.GetExitCodeProcess(child.get().process, &exit_code))
    return platform.GetLastError();
  return exit_code;
}

AnsiString FormatLaunchFailure(std::uint32_t error_code) {
  // Windows error codes are DWORDs; "%d" shows them as signed numbers.
  return FormatWith(ErrorFormat,
                    SignedDecimal(static_cast<std::int32_t>(error_code)));
}

void ReportLaunchFailure(platform::Platform& platform,
                         std::uint32_t error_code) {
  ShowError(platform, FormatLaunchFailure(error_code));
}

void ShowError(platform::Platform& platform, const AnsiString& message) {
  platform.MessageBoxA(message.c_str(), ErrorCaption, MB_ICONERROR | MB_OK);
}

}  // namespace launcher
