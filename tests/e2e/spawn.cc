// Starts a program in a given current directory and reports how it ended,
// for the end-to-end tests: Wine hands only the low 8 bits of an exit code to
// its Unix caller, and a Unicode current directory is easiest to give here.
//   spawn.exe REPORT CWD PROGRAM [ARGS...]
//   spawn.exe --raw REPORT CWD COMMAND-LINE
// The second form passes COMMAND-LINE as it stands and no application name,
// so Windows itself decides which program the line names; spawn.exe first
// makes CWD its own current directory too, so a rooted or relative program
// name resolves as it would for a program running there.
// writes to REPORT (UTF-8):
//   started=<0|1> error=<GetLastError of a failed start>
//   exit_code=<full 32-bit exit code, unsigned decimal>
//   elapsed_ms=<milliseconds from start to end>
//   elapsed_us=<the same in microseconds, from the performance counter>
//   cpu_user_us=<user time of the started process>
//   cpu_kernel_us=<kernel time of the started process>
//   and with SPAWN_PIPE set: pipe_handle=<value> pipe_token=<n>
// Arguments are passed on quoted as the C runtime expects.
//
// Settings (environment), for the tests of what reaches the started program:
//   SPAWN_PIPE=inherit|private  before the start, create a pipe, write a
//       token (decimal digits) into it and close the writing end; the reading
//       end is inheritable with "inherit", not with "private". Its handle
//       value goes to the child as STANDIN_INHERITED_PIPE.
//   SPAWN_HOLD=ITEM|ITEM...     hold these open (not inheritable) until the
//       end: "path:C:\..." a file or folder, "key64:KEY" or "key32:KEY" a key
//       under HKLM in that registry view. Any that does not open is an error.
// A setting that cannot be carried out ends spawn.exe with exit code 4 and a
// message on stderr, before anything is started.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::wstring Quote(const std::wstring& argument) {
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out.push_back(c);
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

std::wstring Environment(const wchar_t* name) {
  wchar_t value[8192];
  const DWORD length = GetEnvironmentVariableW(name, value, 8192);
  return length > 0 && length < 8192 ? std::wstring(value, length)
                                      : std::wstring();
}

int Fail(const wchar_t* what, const std::wstring& detail) {
  std::fwprintf(stderr, L"spawn: %ls failed for '%ls': error %lu\n", what,
                detail.c_str(), static_cast<unsigned long>(GetLastError()));
  return 4;
}

// Opens every item of SPAWN_HOLD; the handles stay open until the process
// ends.
int Hold(const std::wstring& items) {
  std::size_t start = 0;
  while (start <= items.size()) {
    std::size_t bar = items.find(L'|', start);
    if (bar == std::wstring::npos) bar = items.size();
    const std::wstring item = items.substr(start, bar - start);
    start = bar + 1;
    if (item.empty()) continue;
    const std::size_t colon = item.find(L':');
    const std::wstring kind = item.substr(0, colon);
    const std::wstring name =
        colon == std::wstring::npos ? std::wstring() : item.substr(colon + 1);
    if (kind == L"path") {
      // Backup semantics let CreateFileW open a folder as well.
      const HANDLE file = CreateFileW(
          name.c_str(), GENERIC_READ,
          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
      if (file == INVALID_HANDLE_VALUE) return Fail(L"holding", item);
    } else if (kind == L"key64" || kind == L"key32") {
      HKEY key = nullptr;
      const LONG result = RegOpenKeyExW(
          HKEY_LOCAL_MACHINE, name.c_str(), 0,
          KEY_READ | (kind == L"key64" ? KEY_WOW64_64KEY : KEY_WOW64_32KEY),
          &key);
      if (result != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(result));
        return Fail(L"holding", item);
      }
    } else {
      SetLastError(ERROR_INVALID_PARAMETER);
      return Fail(L"parsing SPAWN_HOLD", item);
    }
  }
  return 0;
}

// Creates the pipe of SPAWN_PIPE and leaves its token in it.
int PreparePipe(const std::wstring& mode, HANDLE* read_end,
                unsigned long long* token) {
  if (mode != L"inherit" && mode != L"private") {
    SetLastError(ERROR_INVALID_PARAMETER);
    return Fail(L"parsing SPAWN_PIPE", mode);
  }
  HANDLE write_end = nullptr;
  if (!CreatePipe(read_end, &write_end, nullptr, 0))
    return Fail(L"CreatePipe", mode);
  if (mode == L"inherit" &&
      !SetHandleInformation(*read_end, HANDLE_FLAG_INHERIT,
                            HANDLE_FLAG_INHERIT)) {
    return Fail(L"SetHandleInformation", mode);
  }
  // Different on every run, so reading it proves the reader has this pipe.
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  *token = static_cast<unsigned long long>(counter.QuadPart) * 1000003ull +
           GetCurrentProcessId();
  *token %= 1000000000000ull;
  char text[32];
  const int length = std::snprintf(text, sizeof(text), "%llu", *token);
  DWORD written = 0;
  if (!WriteFile(write_end, text, static_cast<DWORD>(length), &written,
                 nullptr) ||
      written != static_cast<DWORD>(length)) {
    return Fail(L"WriteFile to the pipe", mode);
  }
  CloseHandle(write_end);
  const std::wstring value =
      std::to_wstring(reinterpret_cast<ULONG_PTR>(*read_end));
  if (!SetEnvironmentVariableW(L"STANDIN_INHERITED_PIPE", value.c_str()))
    return Fail(L"SetEnvironmentVariableW", value);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const bool raw = argc > 1 && std::wstring(argv[1]) == L"--raw";
  if (raw) {
    --argc;
    ++argv;
  }
  if (argc < 4 || (raw && argc != 4)) {
    std::fputs(
        "usage: spawn REPORT CWD PROGRAM [ARGS...]\n"
        "       spawn --raw REPORT CWD COMMAND-LINE\n",
        stderr);
    return 2;
  }
  if (raw && !SetCurrentDirectoryW(argv[2]))
    return Fail(L"SetCurrentDirectoryW", argv[2]);
  if (const int failed = Hold(Environment(L"SPAWN_HOLD"))) return failed;
  const std::wstring pipe_mode = Environment(L"SPAWN_PIPE");
  HANDLE pipe = nullptr;
  unsigned long long token = 0;
  if (!pipe_mode.empty()) {
    if (const int failed = PreparePipe(pipe_mode, &pipe, &token))
      return failed;
  }
  std::wstring command_line = raw ? argv[3] : Quote(argv[3]);
  for (int i = 4; i < argc; ++i) command_line += L" " + Quote(argv[i]);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  LARGE_INTEGER frequency, counter_begin, counter_end;
  QueryPerformanceFrequency(&frequency);
  const ULONGLONG begin = GetTickCount64();
  QueryPerformanceCounter(&counter_begin);
  const BOOL started =
      CreateProcessW(raw ? nullptr : argv[3], &command_line[0], nullptr, nullptr, TRUE, 0,
                     nullptr, argv[2], &startup, &info);
  const DWORD error = started ? 0 : GetLastError();
  DWORD exit_code = 0;
  ULONGLONG user_us = 0, kernel_us = 0;
  if (started) {
    WaitForSingleObject(info.hProcess, INFINITE);
    GetExitCodeProcess(info.hProcess, &exit_code);
    FILETIME creation, exit, kernel, user;
    if (GetProcessTimes(info.hProcess, &creation, &exit, &kernel, &user)) {
      // FILETIME counts 100 ns units.
      user_us = ((ULONGLONG(user.dwHighDateTime) << 32) | user.dwLowDateTime) / 10;
      kernel_us =
          ((ULONGLONG(kernel.dwHighDateTime) << 32) | kernel.dwLowDateTime) / 10;
    }
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
  }
  QueryPerformanceCounter(&counter_end);
  const ULONGLONG elapsed = GetTickCount64() - begin;
  const ULONGLONG elapsed_us = static_cast<ULONGLONG>(
      (counter_end.QuadPart - counter_begin.QuadPart) * 1000000.0 /
      frequency.QuadPart);
  FILE* report = _wfopen(argv[1], L"wb");
  if (!report) return 3;
  std::fprintf(report,
               "started=%d error=%lu\nchild_pid=%lu\nexit_code=%lu\n"
               "elapsed_ms=%llu\n"
               "elapsed_us=%llu\ncpu_user_us=%llu\ncpu_kernel_us=%llu\n",
               started ? 1 : 0, static_cast<unsigned long>(error),
               static_cast<unsigned long>(started ? info.dwProcessId : 0),
               static_cast<unsigned long>(exit_code),
               static_cast<unsigned long long>(elapsed),
               static_cast<unsigned long long>(elapsed_us),
               static_cast<unsigned long long>(user_us),
               static_cast<unsigned long long>(kernel_us));
  if (pipe) {
    std::fprintf(report, "pipe_handle=%lu\npipe_token=%llu\n",
                 static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(pipe)),
                 token);
  }
  std::fclose(report);
  return started ? 0 : 1;
}
