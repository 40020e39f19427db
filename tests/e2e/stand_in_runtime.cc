// Stands in for a Java runtime's Javaw.exe in the end-to-end tests. A GUI
// program like the real one, it appends what it received to the file that
// the environment variable STANDIN_REPORT names (which also proves that the
// environment was inherited):
//   start pid=<id> parent=<id>
//   exe=<its own path>              UTF-8
//   command_line=<GetCommandLineA>  bytes as the ANSI code page gave them
//   command_line_w=<GetCommandLineW> UTF-8
//   argc=<n> and argv[i]=<...>      as the C runtime split the command line
//   cwd=<current directory>         UTF-8
//   startup_flags=0x<hex> show_window=<n>
//   mark=<value of STANDIN_MARK>
//   acp=<the ANSI code page>
// then, if STANDIN_HANDLES is set, a census of the handles its parent holds
//   parent_handles=<Type>:<count>,...  (or parent_handles=unavailable:<why>)
//   parent_handle=<Type> <object name>  one line per named Key or File handle
// then, if STANDIN_INHERITED_PIPE names a handle value (decimal), what that
// handle is in this process, without waiting on it:
//   inherited_pipe=valid flags=0x<GetHandleInformation> type=<GetFileType>
//     (or inherited_pipe=invalid error=<n>)
//   inherited_pipe_read=<the bytes waiting in it, if it is a pipe>
// then, if STANDIN_SLEEP_MS is set, sleeps that long, and before it exits
//   parent_alive=<0|1>   whether the process that started it still ran
//   end exit_code=<n>
// exiting with STANDIN_EXIT_CODE (default 0).
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

std::string Utf8(const wchar_t* text) {
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return std::string();
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], size, nullptr, nullptr);
  out.resize(static_cast<std::size_t>(size - 1));
  return out;
}

std::wstring Environment(const wchar_t* name) {
  wchar_t value[4096];
  const DWORD length = GetEnvironmentVariableW(name, value, 4096);
  return length > 0 && length < 4096 ? std::wstring(value, length)
                                      : std::wstring();
}

DWORD ParentProcessId() {
  const DWORD self = GetCurrentProcessId();
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  DWORD parent = 0;
  for (BOOL more = Process32FirstW(snapshot, &entry); more;
       more = Process32NextW(snapshot, &entry)) {
    if (entry.th32ProcessID == self) {
      parent = entry.th32ParentProcessID;
      break;
    }
  }
  CloseHandle(snapshot);
  return parent;
}

// NtQuerySystemInformation(SystemExtendedHandleInformation) lists every
// handle in the system with its owner; NtQueryObject names a handle's type
// once it is duplicated into this process.
struct HandleEntry {
  PVOID object;
  ULONG_PTR owner_process_id;
  ULONG_PTR handle_value;
  ULONG granted_access;
  USHORT creator_back_trace_index;
  USHORT object_type_index;
  ULONG handle_attributes;
  ULONG reserved;
};
struct HandleList {
  ULONG_PTR count;
  ULONG_PTR reserved;
  HandleEntry handles[1];
};
struct TypeName {
  USHORT length;
  USHORT maximum_length;
  PWSTR buffer;
};
using QuerySystemInformation = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
using QueryObject = LONG(WINAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
constexpr ULONG kSystemExtendedHandleInformation = 64;
constexpr ULONG kObjectNameInformation = 1;
constexpr ULONG kObjectTypeInformation = 2;

std::string ObjectText(QueryObject query_object, HANDLE handle, ULONG kind) {
  alignas(8) BYTE info[4096];
  if (query_object(handle, kind, info, sizeof(info), nullptr) < 0) return "?";
  const auto* name = reinterpret_cast<const TypeName*>(info);
  if (!name->buffer || name->length == 0) return "";
  return Utf8(std::wstring(name->buffer, name->length / 2).c_str());
}

// Counts the handles of |process_id| by type, and lists the names of its
// registry keys and files in |names|.
std::string HandleCensus(DWORD process_id, std::string* names) {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  auto query_system = reinterpret_cast<QuerySystemInformation>(
      reinterpret_cast<void (*)()>(
          GetProcAddress(ntdll, "NtQuerySystemInformation")));
  auto query_object = reinterpret_cast<QueryObject>(
      reinterpret_cast<void (*)()>(GetProcAddress(ntdll, "NtQueryObject")));
  if (!query_system || !query_object) return "unavailable:ntdll";
  HANDLE process = OpenProcess(PROCESS_DUP_HANDLE, FALSE, process_id);
  if (!process) return "unavailable:open " + std::to_string(GetLastError());
  std::vector<BYTE> buffer(1 << 16);
  LONG status = 0;
  for (int i = 0; i < 12; ++i) {
    ULONG needed = 0;
    status = query_system(kSystemExtendedHandleInformation, buffer.data(),
                          static_cast<ULONG>(buffer.size()), &needed);
    if (status >= 0) break;
    buffer.resize(buffer.size() * 2 + needed);
  }
  if (status < 0) {
    CloseHandle(process);
    return "unavailable:status " + std::to_string(status);
  }
  const auto* list = reinterpret_cast<const HandleList*>(buffer.data());
  std::map<std::string, int> counts;
  for (ULONG_PTR i = 0; i < list->count; ++i) {
    const HandleEntry& entry = list->handles[i];
    if (entry.owner_process_id != process_id) continue;
    HANDLE copy = nullptr;
    std::string type = "?";
    if (DuplicateHandle(process, reinterpret_cast<HANDLE>(entry.handle_value),
                        GetCurrentProcess(), &copy, 0, FALSE,
                        DUPLICATE_SAME_ACCESS)) {
      type = ObjectText(query_object, copy, kObjectTypeInformation);
      if (type == "Key" || type == "File") {
        *names += "parent_handle=" + type + " " +
                  ObjectText(query_object, copy, kObjectNameInformation) +
                  "\n";
      }
      CloseHandle(copy);
    }
    ++counts[type];
  }
  CloseHandle(process);
  std::string census;
  for (const auto& [type, count] : counts)
    census += (census.empty() ? "" : ",") + type + ":" + std::to_string(count);
  return census.empty() ? "none" : census;
}

// What the handle |value| is here. Only the bytes already waiting are read, so
// a handle that is some other pipe cannot block the report.
std::string InheritedPipe(const std::wstring& value) {
  const HANDLE handle = reinterpret_cast<HANDLE>(
      static_cast<ULONG_PTR>(wcstoul(value.c_str(), nullptr, 10)));
  DWORD flags = 0;
  if (!GetHandleInformation(handle, &flags))
    return "inherited_pipe=invalid error=" + std::to_string(GetLastError()) +
           "\n";
  const DWORD type = GetFileType(handle);
  char head[80];
  std::snprintf(head, sizeof(head), "inherited_pipe=valid flags=0x%lx type=%lu\n",
                static_cast<unsigned long>(flags),
                static_cast<unsigned long>(type));
  std::string text = head;
  DWORD available = 0;
  if (type == FILE_TYPE_PIPE &&
      PeekNamedPipe(handle, nullptr, 0, nullptr, &available, nullptr)) {
    char bytes[64];
    DWORD read = 0;
    if (available > 0 &&
        ReadFile(handle, bytes, available < sizeof(bytes) ? available : sizeof(bytes),
                 &read, nullptr)) {
      text += "inherited_pipe_read=" + std::string(bytes, read) + "\n";
    }
  }
  return text;
}

void Append(const std::wstring& report, const std::string& text) {
  FILE* file = _wfopen(report.c_str(), L"ab");
  if (!file) return;
  std::fwrite(text.data(), 1, text.size(), file);
  std::fclose(file);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const std::wstring report = Environment(L"STANDIN_REPORT");
  const std::wstring sleep_ms = Environment(L"STANDIN_SLEEP_MS");
  const std::wstring exit_code_text = Environment(L"STANDIN_EXIT_CODE");
  const DWORD parent = ParentProcessId();
  // Opened now, while the parent is certainly alive, to ask about it later.
  HANDLE parent_process =
      parent ? OpenProcess(SYNCHRONIZE, FALSE, parent) : nullptr;

  std::string text = "start pid=" + std::to_string(GetCurrentProcessId()) +
                     " parent=" + std::to_string(parent) + "\n";
  wchar_t exe[MAX_PATH * 4];
  GetModuleFileNameW(nullptr, exe, MAX_PATH * 4);
  text += "exe=" + Utf8(exe) + "\n";
  text += "command_line=" + std::string(GetCommandLineA()) + "\n";
  text += "command_line_w=" + Utf8(GetCommandLineW()) + "\n";
  text += "argc=" + std::to_string(__argc) + "\n";
  for (int i = 0; i < __argc; ++i)
    text += "argv[" + std::to_string(i) + "]=" + __argv[i] + "\n";
  wchar_t cwd[MAX_PATH * 4];
  GetCurrentDirectoryW(MAX_PATH * 4, cwd);
  text += "cwd=" + Utf8(cwd) + "\n";
  STARTUPINFOA startup = {};
  GetStartupInfoA(&startup);
  char flags[64];
  std::snprintf(flags, sizeof(flags), "startup_flags=0x%lx show_window=%u\n",
                static_cast<unsigned long>(startup.dwFlags),
                static_cast<unsigned>(startup.wShowWindow));
  text += flags;
  text += "mark=" + Utf8(Environment(L"STANDIN_MARK").c_str()) + "\n";
  text += "acp=" + std::to_string(GetACP()) + "\n";
  Append(report, text);
  if (!Environment(L"STANDIN_HANDLES").empty() && parent) {
    std::string names;
    const std::string census = HandleCensus(parent, &names);
    Append(report, "parent_handles=" + census + "\n" + names);
  }
  const std::wstring inherited_pipe = Environment(L"STANDIN_INHERITED_PIPE");
  if (!inherited_pipe.empty()) Append(report, InheritedPipe(inherited_pipe));

  if (!sleep_ms.empty()) Sleep(static_cast<DWORD>(_wtoi(sleep_ms.c_str())));
  const unsigned exit_code =
      exit_code_text.empty()
          ? 0u
          : static_cast<unsigned>(wcstoul(exit_code_text.c_str(), nullptr, 0));
  const bool parent_alive =
      parent_process &&
      WaitForSingleObject(parent_process, 0) == WAIT_TIMEOUT;
  Append(report, "parent_alive=" + std::string(parent_alive ? "1" : "0") +
                     "\nend exit_code=" + std::to_string(exit_code) + "\n");
  return static_cast<int>(exit_code);
}
