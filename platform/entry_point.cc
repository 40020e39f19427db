// The exe's entry point, in place of a C runtime's start-up code: hardens the
// process heap, runs WinMain once and ends the process with its result. There
// is no runtime to initialise, no static constructor to run (the build
// refuses any) and no atexit list to walk.
#include <windows.h>

extern "C" [[noreturn]] void MainEntryPoint() {
  // End the process on heap corruption instead of carrying on. First, before
  // anything allocates; Vista and later have it.
  ::HeapSetInformation(nullptr, HeapEnableTerminationOnCorruption, nullptr, 0);
  // WinMain ignores its arguments; these are what a C runtime would pass for
  // a start without arguments.
  char no_arguments[] = "";
  const int result = WinMain(::GetModuleHandleW(nullptr), nullptr, no_arguments,
                             SW_SHOWDEFAULT);
  ::ExitProcess(static_cast<UINT>(result));
}
