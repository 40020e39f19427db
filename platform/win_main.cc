// The GUI entry point: no console, no window of its own. The command line and
// show command are ignored; everything the launcher does is in
// RunFromEntryPoint.
#include <windows.h>

#include "launcher/launch_sequence.h"
#include "platform/win32_platform.h"

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous_instance*/,
                   LPSTR /*command_line*/, int /*show_command*/) {
  platform::Win32Platform platform;
  return static_cast<int>(launcher::RunFromEntryPoint(platform));
}
