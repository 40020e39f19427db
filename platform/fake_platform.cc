#include "platform/fake_platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "platform/process_heap_host.h"
#include "platform/win32_api.h"

namespace platform {

namespace {

char16_t Lower(char16_t c) {
  return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool HasInvalidPathCharacter(const UnicodeString& path) {
  // ':' is allowed only as the drive separator.
  for (std::size_t i = 0; i < path.size(); ++i) {
    const char16_t c = path[i];
    if (c < 0x20 || c == u'"' || c == u'<' || c == u'>' || c == u'|' ||
        c == u'?' || c == u'*' || (c == u':' && i != 1)) {
      return true;
    }
  }
  return false;
}

UnicodeString Parent(const UnicodeString& normalized) {
  const std::size_t slash = normalized.rfind(u'\\');
  return slash == UnicodeString::npos ? UnicodeString()
                                      : normalized.substr(0, slash);
}

// Windows-1252 at 0x80-0x9F, the block where it differs from Latin-1. The
// five bytes the code page assigns no character (0x81, 0x8D, 0x8F, 0x90,
// 0x9D) convert to and from the C1 controls of the same value, as Windows'
// own table and Wine's do: no byte is lost on the way through UTF-16.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Best-fit look-alikes that Windows substitutes in code page 1252 unless
// WC_NO_BEST_FIT_CHARS is given.
char BestFit1252(char16_t c) {
  switch (c) {
    case 0x2215:  // DIVISION SLASH
    case 0xFF0F:  // FULLWIDTH SOLIDUS
      return '/';
    case 0xFF3C:  // FULLWIDTH REVERSE SOLIDUS
      return '\\';
    case 0xFF02:  // FULLWIDTH QUOTATION MARK
      return '"';
    case 0x0100:  // A WITH MACRON
      return 'A';
    default:
      return 0;
  }
}

bool Encode1252(char16_t c, bool best_fit, char* out) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
    *out = static_cast<char>(c);
    return true;
  }
  for (int i = 0; i < 32; ++i) {
    if (kCp1252High[i] == c) {
      *out = static_cast<char>(0x80 + i);
      return true;
    }
  }
  const char fit = best_fit ? BestFit1252(c) : 0;
  *out = fit ? fit : '?';  // '?' is the code page's default character
  return fit != 0;
}

void AppendUtf8(std::uint32_t code_point, std::string* out) {
  if (code_point < 0x80) {
    out->push_back(static_cast<char>(code_point));
  } else if (code_point < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (code_point >> 6)));
    out->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else if (code_point < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (code_point >> 12)));
    out->push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (code_point >> 18)));
    out->push_back(static_cast<char>(0x80 | ((code_point >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  }
}

std::string EncodeUtf8(const char16_t* text, int length) {
  std::string out;
  for (int i = 0; i < length; ++i) {
    std::uint32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;  // a lone surrogate
    }
    AppendUtf8(c, &out);
  }
  return out;
}

UnicodeString DecodeUtf8(const char* text, int length) {
  UnicodeString out;
  int i = 0;
  while (i < length) {
    const auto lead = static_cast<unsigned char>(text[i]);
    int extra = lead < 0x80    ? 0
                : lead >= 0xF0 ? 3
                : lead >= 0xE0 ? 2
                : lead >= 0xC0 ? 1
                               : -1;
    std::uint32_t c = extra == 3   ? lead & 0x07u
                      : extra == 2 ? lead & 0x0Fu
                      : extra == 1 ? lead & 0x1Fu
                                   : lead;
    bool valid = extra >= 0 && i + extra < length;
    for (int k = 1; valid && k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) valid = false;
      c = (c << 6) | (next & 0x3Fu);
    }
    if (!valid) {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    i += extra + 1;
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
  }
  return out;
}

// Whether WideCharToMultiByte takes |flags| for |code_page|, as Microsoft's
// documentation of the call lists it: no flag at all for the code pages
// below, only WC_ERR_INVALID_CHARS for UTF-8 and GB18030, any other code
// page takes them. A refused flag fails the call with ERROR_INVALID_FLAGS.
bool TakesFlags(std::uint32_t code_page, std::uint32_t flags) {
  switch (code_page) {
    case 42:     // Symbol
    case 50220:  // ISO-2022 Japanese, three variants
    case 50221:
    case 50222:
    case 50225:  // ISO-2022 Korean
    case 50227:  // ISO-2022 Simplified Chinese
    case 50229:  // ISO-2022 Traditional Chinese
    case 57002:  // ISCII: Devanagari, Bengali, Tamil, Telugu, Assamese,
    case 57003:  // Oriya, Kannada, Malayalam, Gujarati, Punjabi
    case 57004:
    case 57005:
    case 57006:
    case 57007:
    case 57008:
    case 57009:
    case 57010:
    case 57011:
    case CP_UTF7:
      return flags == 0;
    case CP_UTF8:
    case 54936:  // GB18030
      return (flags & ~WC_ERR_INVALID_CHARS) == 0;
    default:
      return true;
  }
}

// The output side of both conversion calls: a size query when the buffer
// length is 0, else a copy that must fit.
template <typename Char, typename Text>
int Deliver(const Text& converted, Char* out, int out_length,
            std::uint32_t* last_error) {
  const int needed = static_cast<int>(converted.size());
  if (out_length == 0) return needed;
  if (out_length < needed) {
    *last_error = ERROR_INSUFFICIENT_BUFFER;
    return 0;
  }
  std::copy(converted.begin(), converted.end(), out);
  return needed;
}

}  // namespace

std::string Narrow(const UnicodeString& text) {
  return EncodeUtf8(text.data(), static_cast<int>(text.size()));
}

namespace {
std::vector<FakePlatform*>& LiveFakes() {
  static std::vector<FakePlatform*> fakes;
  return fakes;
}
}  // namespace

FakePlatform::FakePlatform(Windows windows) : windows_(windows) {
  AddFolder(u"C:\\");
  AddFolder(current_directory_);
  LiveFakes().push_back(this);
  SetHeapReleaseObserver(&FakePlatform::OnHeapRelease);
}

void FakePlatform::OnHeapRelease() {
  for (FakePlatform* fake : LiveFakes()) {
    if (fake->calls_in_progress_ == 0)
      fake->last_error_ = fake->last_error_after_heap_free;
  }
}

FakePlatform::~FakePlatform() {
  auto& fakes = LiveFakes();
  fakes.erase(std::remove(fakes.begin(), fakes.end(), this), fakes.end());
  for (const auto& [handle, open] : handles_) {
    ADD_FAILURE() << "handle " << handle << " of kind "
                  << static_cast<int>(open.kind) << " was never closed";
  }
}

UnicodeString FakePlatform::Normalize(const UnicodeString& path) {
  UnicodeString out;
  for (char16_t c : path) {
    if (c == u'/') c = u'\\';
    if (c == u'\\' && !out.empty() && out.back() == u'\\') continue;
    out.push_back(Lower(c));
  }
  // "C:\" keeps its backslash; any other trailing one goes.
  if (out.size() > 3 && out.back() == u'\\') out.pop_back();
  return out;
}

UnicodeString FakePlatform::KeyPath(const UnicodeString& path) {
  UnicodeString out(path.size(), u'\0');
  std::transform(path.begin(), path.end(), out.begin(), Lower);
  while (!out.empty() && out.back() == u'\\') out.pop_back();
  return out;
}

UnicodeString FakePlatform::ValueName(const char16_t* name) {
  // A null name, like an empty one, names the key's default value.
  UnicodeString out;
  for (; name != nullptr && *name != u'\0'; ++name) out.push_back(Lower(*name));
  return out;
}

void FakePlatform::AddParents(const UnicodeString& normalized) {
  for (UnicodeString parent = Parent(normalized); parent.size() > 2;
       parent = Parent(parent)) {
    files_.emplace(parent, FileEntry{FILE_ATTRIBUTE_DIRECTORY, 0, 0});
  }
}

void FakePlatform::AddFolder(const UnicodeString& path,
                             std::uint32_t extra_attributes) {
  AddParents(Normalize(path));
  files_[Normalize(path)].attributes =
      FILE_ATTRIBUTE_DIRECTORY | extra_attributes;
}

void FakePlatform::AddFile(const UnicodeString& path,
                           std::uint32_t attributes) {
  AddParents(Normalize(path));
  files_[Normalize(path)].attributes = attributes;
}

FakePlatform::FileEntry& FakePlatform::Entry(const UnicodeString& path) {
  return files_[Normalize(path)];
}

std::map<UnicodeString, FakePlatform::Key>& FakePlatform::Registry(Hive hive) {
  return hive == Hive::Wow32 && windows_ == Windows::Bits64 ? registry32_
                                                            : registry64_;
}

void FakePlatform::AddKey(Hive hive, const UnicodeString& key) {
  Registry(hive)[KeyPath(key)];
}

void FakePlatform::SetValue(Hive hive, const UnicodeString& key,
                            const UnicodeString& name, std::uint32_t type,
                            std::vector<std::uint8_t> data) {
  Registry(hive)[KeyPath(key)][ValueName(name.c_str())] = {type,
                                                           std::move(data)};
}

std::vector<std::uint8_t> FakePlatform::Bytes(const UnicodeString& text) {
  std::vector<std::uint8_t> bytes;
  for (char16_t c : text) {
    bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return bytes;
}

void FakePlatform::SetString(Hive hive, const UnicodeString& key,
                             const UnicodeString& name,
                             const UnicodeString& text, std::uint32_t type) {
  SetValue(hive, key, name, type, Bytes(text + u'\0'));
}

int FakePlatform::open_registry_keys() const {
  return static_cast<int>(
      std::count_if(handles_.begin(), handles_.end(), [](const auto& entry) {
        return entry.second.kind == HandleKind::RegistryKey;
      }));
}

int FakePlatform::open_files() const {
  return static_cast<int>(std::count_if(
      handles_.begin(), handles_.end(),
      [](const auto& entry) { return entry.second.kind == HandleKind::File; }));
}

NativeHandle FakePlatform::NewHandle(OpenHandle handle) {
  next_handle_ += 4;
  const auto value = reinterpret_cast<NativeHandle>(next_handle_);
  handles_.emplace(value, std::move(handle));
  return value;
}

FakePlatform::OpenHandle* FakePlatform::Find(NativeHandle handle,
                                             HandleKind kind) {
  const auto found = handles_.find(handle);
  if (found == handles_.end() || found->second.kind != kind) return nullptr;
  return &found->second;
}

UnicodeString FakePlatform::Widen(const AnsiString& ansi) const {
  if (code_page == CP_UTF8)
    return DecodeUtf8(ansi.data(), static_cast<int>(ansi.size()));
  UnicodeString wide;
  for (char c : ansi) {
    const auto byte = static_cast<unsigned char>(c);
    wide.push_back(byte >= 0x80 && byte < 0xA0 ? kCp1252High[byte - 0x80]
                                               : static_cast<char16_t>(byte));
  }
  return wide;
}

std::uint32_t FakePlatform::MissingPathError(
    const UnicodeString& normalized) const {
  if (HasInvalidPathCharacter(normalized)) return ERROR_INVALID_NAME;
  const auto parent = files_.find(Parent(normalized));
  return parent != files_.end() &&
                 (parent->second.attributes & FILE_ATTRIBUTE_DIRECTORY)
             ? ERROR_FILE_NOT_FOUND
             : ERROR_PATH_NOT_FOUND;
}

std::uint32_t FakePlatform::GetLastError() {
  const InCall in_call(*this);
  calls.push_back("GetLastError");
  return last_error_;
}

std::uint32_t FakePlatform::GetCurrentDirectoryW(std::uint32_t buffer_length,
                                                 char16_t* buffer) {
  const InCall in_call(*this);
  calls.push_back("GetCurrentDirectoryW");
  if (current_directory_error != 0) {
    Fail(current_directory_error);
    return 0;
  }
  const auto needed = static_cast<std::uint32_t>(current_directory_.size() + 1);
  if (buffer_length < needed) {
    // What a buffer that was too small holds is not the directory.
    std::fill(buffer, buffer + buffer_length, u'#');
    current_directory_.append(current_directory_growth, u'x');
    return needed;
  }
  std::copy(current_directory_.begin(), current_directory_.end(), buffer);
  buffer[current_directory_.size()] = u'\0';
  return needed - 1;
}

std::uint32_t FakePlatform::GetFileAttributesW(const char16_t* path) {
  const InCall in_call(*this);
  const UnicodeString normalized = Normalize(path);
  calls.push_back("GetFileAttributesW " + Narrow(normalized));
  const auto found = files_.find(normalized);
  if (found == files_.end()) {
    Fail(MissingPathError(normalized));
    return INVALID_FILE_ATTRIBUTES;
  }
  if (found->second.attributes_error != 0) {
    Fail(found->second.attributes_error);
    return INVALID_FILE_ATTRIBUTES;
  }
  return found->second.attributes;
}

NativeHandle FakePlatform::CreateFileW(const char16_t* path,
                                       std::uint32_t desired_access,
                                       std::uint32_t share_mode,
                                       std::uint32_t creation_disposition,
                                       std::uint32_t flags_and_attributes) {
  const InCall in_call(*this);
  const UnicodeString normalized = Normalize(path);
  calls.push_back("CreateFileW " + Narrow(normalized));
  EXPECT_EQ(desired_access, GENERIC_READ);
  EXPECT_EQ(share_mode, FILE_SHARE_READ);
  EXPECT_EQ(creation_disposition, OPEN_EXISTING);
  const auto found = files_.find(normalized);
  if (found == files_.end()) {
    Fail(MissingPathError(normalized));
    return InvalidHandleValue();
  }
  if (found->second.open_error != 0) {
    Fail(found->second.open_error);
    return InvalidHandleValue();
  }
  // A directory opens only with backup semantics.
  if ((found->second.attributes & FILE_ATTRIBUTE_DIRECTORY) &&
      !(flags_and_attributes & FILE_FLAG_BACKUP_SEMANTICS)) {
    Fail(ERROR_ACCESS_DENIED);
    return InvalidHandleValue();
  }
  return NewHandle(OpenHandle{HandleKind::File, Hive::Native64, {}, 0, false});
}

bool FakePlatform::CloseHandle(NativeHandle handle) {
  const InCall in_call(*this);
  const auto found = handles_.find(handle);
  if (found == handles_.end() ||
      found->second.kind == HandleKind::RegistryKey) {
    calls.push_back("CloseHandle not open");
    ADD_FAILURE() << "CloseHandle of a handle that is not open: " << handle;
    Fail(ERROR_INVALID_HANDLE);
    return false;
  }
  static const char* const kKinds[] = {"file", "registry key", "process",
                                       "thread"};
  calls.push_back(std::string("CloseHandle ") +
                  kKinds[static_cast<int>(found->second.kind)]);
  handles_.erase(found);
  return true;
}

bool FakePlatform::CreateProcessA(const ProcessStart& start,
                                  ProcessInformation* started_process) {
  const InCall in_call(*this);
  calls.push_back("CreateProcessA");
  EXPECT_EQ(open_registry_keys(), 0) << "a registry key is open at the start";
  EXPECT_EQ(open_files(), 0) << "a file handle is open at the start";
  started.push_back(start);
  if (start_error != 0) {
    Fail(start_error);
    return false;
  }
  // The program is the first token of the command line: quoted, or up to
  // the first blank.
  const AnsiString& line = start.command_line;
  AnsiString program;
  if (!line.empty() && line[0] == '"') {
    program = line.substr(1, line.find('"', 1) - 1);
  } else {
    program = line.substr(0, line.find(' '));
  }
  const UnicodeString program_path = Normalize(Widen(program));
  const auto found = files_.find(program_path);
  if (found == files_.end() ||
      (found->second.attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    Fail(found == files_.end() ? MissingPathError(program_path)
                               : ERROR_ACCESS_DENIED);
    return false;
  }
  // No directory (null, as Win32Platform passes an empty one) gives the
  // child this process's own. Passed or inherited, a current directory of
  // MAX_PATH UTF-16 units or more is refused with ERROR_DIRECTORY, even
  // where the process itself may use such a directory: no child can be
  // started from one.
  const bool inherited = start.current_directory.empty();
  const UnicodeString directory =
      inherited ? current_directory_ : Widen(start.current_directory);
  if (directory.size() >= MAX_PATH) {
    Fail(ERROR_DIRECTORY);
    return false;
  }
  // A directory passed must be one; the inherited one is, being in use.
  if (!inherited) {
    const auto found_directory = files_.find(Normalize(directory));
    if (found_directory == files_.end() ||
        !(found_directory->second.attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      Fail(ERROR_DIRECTORY);
      return false;
    }
  }
  started_process->process =
      NewHandle(OpenHandle{HandleKind::Process, Hive::Native64, {}, 0, false});
  started_process->thread =
      NewHandle(OpenHandle{HandleKind::Thread, Hive::Native64, {}, 0, false});
  started_process->process_id = 4242;
  started_process->thread_id = 4243;
  return true;
}

std::uint32_t FakePlatform::WaitForSingleObject(NativeHandle handle,
                                                std::uint32_t milliseconds) {
  const InCall in_call(*this);
  calls.push_back("WaitForSingleObject");
  EXPECT_EQ(milliseconds, INFINITE);
  OpenHandle* process = Find(handle, HandleKind::Process);
  if (process == nullptr) {
    Fail(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  if (wait_error != 0) {
    Fail(wait_error);
    return WAIT_FAILED;
  }
  process->ended = true;
  return WAIT_OBJECT_0;
}

bool FakePlatform::GetExitCodeProcess(NativeHandle process,
                                      std::uint32_t* exit_code) {
  const InCall in_call(*this);
  calls.push_back("GetExitCodeProcess");
  const OpenHandle* open = Find(process, HandleKind::Process);
  if (open == nullptr) {
    Fail(ERROR_INVALID_HANDLE);
    return false;
  }
  if (exit_code_error != 0) {
    Fail(exit_code_error);
    return false;
  }
  *exit_code = open->ended ? child_exit_code : STILL_ACTIVE;
  return true;
}

bool FakePlatform::SetDefaultDllDirectories(std::uint32_t directory_flags) {
  const InCall in_call(*this);
  calls.push_back("SetDefaultDllDirectories " +
                  std::to_string(directory_flags));
  if (!dll_directories_available) {
    Fail(ERROR_PROC_NOT_FOUND);
    return false;
  }
  return true;
}

std::uint32_t FakePlatform::GetACP() {
  const InCall in_call(*this);
  calls.push_back("GetACP");
  return code_page;
}

int FakePlatform::WideCharToMultiByte(std::uint32_t page, std::uint32_t flags,
                                      const char16_t* wide, int wide_length,
                                      char* multi_byte, int multi_byte_length) {
  const InCall in_call(*this);
  calls.push_back("WideCharToMultiByte " + std::to_string(page) + " " +
                  std::to_string(flags));
  if (wide == nullptr || wide_length <= 0 || multi_byte_length < 0) {
    Fail(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (!TakesFlags(page, flags)) {
    Fail(ERROR_INVALID_FLAGS);
    return 0;
  }
  std::string converted;
  if (page == CP_UTF8) {
    converted = EncodeUtf8(wide, wide_length);
  } else {
    const bool best_fit = (flags & WC_NO_BEST_FIT_CHARS) == 0;
    for (int i = 0; i < wide_length; ++i) {
      char c = 0;
      Encode1252(wide[i], best_fit, &c);
      converted.push_back(c);
    }
  }
  return Deliver(converted, multi_byte, multi_byte_length, &last_error_);
}

int FakePlatform::MultiByteToWideChar(std::uint32_t page, std::uint32_t flags,
                                      const char* multi_byte,
                                      int multi_byte_length, char16_t* wide,
                                      int wide_length) {
  const InCall in_call(*this);
  calls.push_back("MultiByteToWideChar " + std::to_string(page) + " " +
                  std::to_string(flags));
  EXPECT_EQ(flags, 0u);
  if (multi_byte == nullptr || multi_byte_length <= 0 || wide_length < 0) {
    Fail(ERROR_INVALID_PARAMETER);
    return 0;
  }
  EXPECT_EQ(page, code_page);
  const UnicodeString converted = Widen(
      AnsiString(multi_byte, static_cast<std::size_t>(multi_byte_length)));
  return Deliver(converted, wide, wide_length, &last_error_);
}

FakePlatform::Hive FakePlatform::HiveFor(std::uint32_t access) const {
  // KEY_WOW64_64KEY reaches the 64-bit view from a 32-bit process; without
  // it the process is redirected to the 32-bit view. 32-bit Windows has one.
  if (windows_ == Windows::Bits32) return Hive::Native64;
  return (access & KEY_WOW64_64KEY) ? Hive::Native64 : Hive::Wow32;
}

std::int32_t FakePlatform::RegOpenKeyExW(RegistryRoot root,
                                         const char16_t* sub_key,
                                         std::uint32_t options,
                                         std::uint32_t desired_access,
                                         NativeHandle* key) {
  const InCall in_call(*this);
  calls.push_back("RegOpenKeyExW " + std::to_string(desired_access));
  registry_open_masks.push_back(desired_access);
  EXPECT_EQ(root, RegistryRoot::LocalMachine);
  EXPECT_EQ(options, 0u);
  *key = nullptr;
  if (advapi32_unavailable_error != 0) return advapi32_unavailable_error;
  if (registry_open_failing_mask != 0 &&
      desired_access == registry_open_failing_mask) {
    return registry_open_error;
  }
  const Hive hive = HiveFor(desired_access);
  // A key path never starts with a backslash.
  if (sub_key != nullptr && sub_key[0] == u'\\') return ERROR_BAD_PATHNAME;
  const UnicodeString path = KeyPath(sub_key != nullptr ? sub_key : u"");
  if (Registry(hive).count(path) == 0) return ERROR_FILE_NOT_FOUND;
  *key = NewHandle(
      OpenHandle{HandleKind::RegistryKey, hive, path, desired_access, false});
  return ERROR_SUCCESS;
}

std::int32_t FakePlatform::RegQueryValueExW(NativeHandle key,
                                            const char16_t* value_name,
                                            std::uint32_t* type,
                                            std::uint8_t* data,
                                            std::uint32_t* data_size) {
  const InCall in_call(*this);
  calls.push_back(data ? "RegQueryValueExW data" : "RegQueryValueExW size");
  if (advapi32_unavailable_error != 0) return advapi32_unavailable_error;
  const OpenHandle* open = Find(key, HandleKind::RegistryKey);
  if (open == nullptr) return ERROR_INVALID_HANDLE;
  if ((open->access & KEY_QUERY_VALUE) == 0) return ERROR_ACCESS_DENIED;
  Key& values = Registry(open->hive)[open->key];
  const auto found = values.find(ValueName(value_name));
  if (found == values.end()) return ERROR_FILE_NOT_FOUND;
  RegistryValue& value = found->second;
  if (data != nullptr) {
    if (value_read_error != 0) return value_read_error;
    value.data.resize(value.data.size() + value_growth, 0x41);
  }
  if (type) *type = value.type;
  if (data_size == nullptr) return data ? ERROR_INVALID_PARAMETER : 0;
  const auto size = static_cast<std::uint32_t>(value.data.size());
  if (data != nullptr && *data_size < size) {
    *data_size = size;
    return ERROR_MORE_DATA;
  }
  if (data != nullptr) std::copy(value.data.begin(), value.data.end(), data);
  *data_size = size;
  return ERROR_SUCCESS;
}

std::int32_t FakePlatform::RegCloseKey(NativeHandle key) {
  const InCall in_call(*this);
  calls.push_back("RegCloseKey");
  if (Find(key, HandleKind::RegistryKey) == nullptr) {
    ADD_FAILURE() << "RegCloseKey of a key that is not open: " << key;
    return ERROR_INVALID_HANDLE;
  }
  handles_.erase(key);
  return ERROR_SUCCESS;
}

int FakePlatform::MessageBoxA(const char* text, const char* caption,
                              std::uint32_t type) {
  const InCall in_call(*this);
  calls.push_back("MessageBoxA");
  if (user32_unavailable_error != 0) {
    Fail(user32_unavailable_error);
    return 0;
  }
  boxes.push_back({text, caption, type});
  return IDOK;
}

}  // namespace platform
