/* The floor for the launcher's handoff: the same start the launcher makes
 * with a runtime in the current folder, and nothing else. No C runtime (its
 * own entry point), only KERNEL32 imported; bench/bench.py times it beside
 * the launcher and the runtime started directly.
 *
 * Starts "<cwd>\Java\bin\Javaw.exe" -jar -Xmx768m "<cwd>\molk2014.jar"
 * hidden, waits for it and exits with its exit code. No checks: a failed
 * start exits with GetLastError's code. */
#include <windows.h>

/* Static, so zeroed by the loader: no memset for the compiler to call. */
static char folder[MAX_PATH];
static char command_line[3 * MAX_PATH];
static STARTUPINFOA startup;
static PROCESS_INFORMATION child;

void MinimalStart(void) {
  DWORD exit_code;
  GetCurrentDirectoryA(MAX_PATH, folder);
  lstrcpyA(command_line, "\"");
  lstrcatA(command_line, folder);
  lstrcatA(command_line, "\\Java\\bin\\Javaw.exe\" -jar -Xmx768m \"");
  lstrcatA(command_line, folder);
  lstrcatA(command_line, "\\molk2014.jar\"");
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  if (!CreateProcessA(NULL, command_line, NULL, NULL, TRUE, 0, NULL, folder,
                      &startup, &child)) {
    ExitProcess(GetLastError());
  }
  WaitForSingleObject(child.hProcess, INFINITE);
  GetExitCodeProcess(child.hProcess, &exit_code);
  ExitProcess(exit_code);
}
