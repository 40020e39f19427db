// Writes registry fixtures for the end-to-end tests, including values that
// `reg add` cannot express (no terminating NUL, text after a NUL, odd byte
// counts). Each operation names the view explicitly, so one 32-bit program
// reaches both views of 64-bit Windows:
//   reg_fixture.exe OP [OP...]
//   OP = clear:VIEW:KEY                      delete KEY (under HKLM) and all below
//        set:VIEW:KEY:NAME:TYPE:HEXBYTES     create KEY, set value NAME
//        key:VIEW:KEY                        create KEY only
// VIEW is 32 or 64; TYPE is the numeric registry type; HEXBYTES may be empty.
// Fields are split on ':' (keys and names here hold none).
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::vector<std::wstring> Split(const std::wstring& text, std::size_t parts) {
  std::vector<std::wstring> fields;
  std::size_t start = 0;
  while (fields.size() + 1 < parts) {
    const std::size_t colon = text.find(L':', start);
    if (colon == std::wstring::npos) break;
    fields.push_back(text.substr(start, colon - start));
    start = colon + 1;
  }
  fields.push_back(text.substr(start));
  return fields;
}

REGSAM ViewFlag(const std::wstring& view) {
  return view == L"64" ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
}

std::vector<BYTE> Hex(const std::wstring& text) {
  std::vector<BYTE> bytes;
  for (std::size_t i = 0; i + 1 < text.size(); i += 2)
    bytes.push_back(static_cast<BYTE>(std::stoul(text.substr(i, 2), nullptr, 16)));
  return bytes;
}

bool Fail(const wchar_t* what, const std::wstring& op, LONG error) {
  std::fwprintf(stderr, L"reg_fixture: %ls failed for %ls: %ld\n", what,
                op.c_str(), error);
  return false;
}

bool Apply(const std::wstring& op) {
  const std::vector<std::wstring> head = Split(op, 3);
  if (head.size() < 3) return Fail(L"parse", op, 0);
  const REGSAM view = ViewFlag(head[1]);
  if (head[0] == L"clear") {
    HKEY parent = nullptr;
    const std::wstring& key = head[2];
    const std::size_t slash = key.rfind(L'\\');
    const std::wstring parent_path = key.substr(0, slash);
    const std::wstring leaf = key.substr(slash + 1);
    LONG result = RegOpenKeyExW(HKEY_LOCAL_MACHINE, parent_path.c_str(), 0,
                                KEY_ALL_ACCESS | view, &parent);
    if (result == ERROR_FILE_NOT_FOUND) return true;
    if (result != ERROR_SUCCESS) return Fail(L"open", op, result);
    result = RegDeleteTreeW(parent, leaf.c_str());
    RegCloseKey(parent);
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND
               ? true
               : Fail(L"delete", op, result);
  }
  const std::vector<std::wstring> fields =
      Split(op, head[0] == L"set" ? 6 : 3);
  HKEY key = nullptr;
  LONG result = RegCreateKeyExW(HKEY_LOCAL_MACHINE, fields[2].c_str(), 0,
                                nullptr, 0, KEY_ALL_ACCESS | view, nullptr,
                                &key, nullptr);
  if (result != ERROR_SUCCESS) return Fail(L"create", op, result);
  if (head[0] == L"set") {
    if (fields.size() != 6) {
      RegCloseKey(key);
      return Fail(L"parse", op, 0);
    }
    const std::vector<BYTE> data = Hex(fields[5]);
    result = RegSetValueExW(key, fields[3].c_str(), 0,
                            std::stoul(fields[4]), data.data(),
                            static_cast<DWORD>(data.size()));
    if (result != ERROR_SUCCESS) {
      RegCloseKey(key);
      return Fail(L"set", op, result);
    }
  }
  RegCloseKey(key);
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  for (int i = 1; i < argc; ++i) {
    if (!Apply(argv[i])) return 1;
  }
  return 0;
}
