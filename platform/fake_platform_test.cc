// The fake is only as useful as its model: these pin down the Windows
// behaviour the launcher's tests rely on.
#include "platform/fake_platform.h"

#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <set>

#include "platform/process_heap_host.h"
#include "platform/win32_api.h"

namespace platform {
namespace {

using Hive = FakePlatform::Hive;

std::uint32_t OpenAndClose(FakePlatform& fake, std::uint32_t access) {
  NativeHandle key = nullptr;
  const std::int32_t result = fake.RegOpenKeyExW(
      RegistryRoot::LocalMachine, u"Software\\K", 0, access, &key);
  if (result == ERROR_SUCCESS) fake.RegCloseKey(key);
  return static_cast<std::uint32_t>(result);
}

TEST(FakePlatformTest, RegistryViewsOfA32BitProcess) {
  FakePlatform wow64(FakePlatform::Windows::Bits64);
  wow64.AddKey(Hive::Native64, u"Software\\K");
  EXPECT_EQ(OpenAndClose(wow64, KEY_READ | KEY_WOW64_64KEY), ERROR_SUCCESS);
  EXPECT_EQ(OpenAndClose(wow64, KEY_READ), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(OpenAndClose(wow64, KEY_READ | KEY_WOW64_32KEY),
            ERROR_FILE_NOT_FOUND);

  // 32-bit Windows has one registry and ignores the view flags.
  FakePlatform x86(FakePlatform::Windows::Bits32);
  x86.AddKey(FakePlatform::Native, u"Software\\K");
  EXPECT_EQ(OpenAndClose(x86, KEY_READ | KEY_WOW64_64KEY), ERROR_SUCCESS);
  EXPECT_EQ(OpenAndClose(x86, KEY_READ), ERROR_SUCCESS);
}

TEST(FakePlatformTest, KeyPathsAreNamesNotFilePaths) {
  struct Case {
    const char16_t* stored;
    const char16_t* opened;
    std::int32_t result;
  };
  const Case cases[] = {
      {u"Software\\a/b", u"Software\\a/b", ERROR_SUCCESS},
      {u"Software\\a/b", u"SOFTWARE\\A/B", ERROR_SUCCESS},
      // '/' belongs to the name; it separates nothing.
      {u"Software\\a/b", u"Software\\a\\b", ERROR_FILE_NOT_FOUND},
      {u"Software\\a\\b", u"Software\\a/b", ERROR_FILE_NOT_FOUND},
      {u"Software\\K", u"Software/K", ERROR_FILE_NOT_FOUND},
      // A doubled backslash is not folded into one.
      {u"Software\\K", u"Software\\\\K", ERROR_FILE_NOT_FOUND},
      // Backslashes that end the path are ignored; one that starts it is an
      // error of its own.
      {u"Software\\K", u"Software\\K\\", ERROR_SUCCESS},
      {u"Software\\K", u"Software\\K\\\\", ERROR_SUCCESS},
      {u"Software\\K", u"\\Software\\K", ERROR_BAD_PATHNAME},
  };
  for (const Case& c : cases) {
    FakePlatform fake(FakePlatform::Windows::Bits32);
    fake.AddKey(FakePlatform::Native, c.stored);
    NativeHandle key = nullptr;
    EXPECT_EQ(fake.RegOpenKeyExW(RegistryRoot::LocalMachine, c.opened, 0,
                                 KEY_READ, &key),
              c.result)
        << Narrow(c.opened);
    if (key != nullptr) fake.RegCloseKey(key);
  }
}

TEST(FakePlatformTest, ValueNamesAreComparedWithoutCaseAndNothingElse) {
  struct Case {
    const char16_t* stored;
    const char16_t* queried;
    std::int32_t result;
  };
  const Case cases[] = {
      {u"a/b", u"A/B", ERROR_SUCCESS},
      {u"a/b", u"a\\b", ERROR_FILE_NOT_FOUND},
      {u"x\\y", u"X\\Y", ERROR_SUCCESS},
      {u"x\\y", u"x/y", ERROR_FILE_NOT_FOUND},
      {u"x\\y", u"x\\\\y", ERROR_FILE_NOT_FOUND},
      {u"x\\y", u"x\\y\\", ERROR_FILE_NOT_FOUND},
  };
  for (const Case& c : cases) {
    FakePlatform fake(FakePlatform::Windows::Bits32);
    fake.SetString(FakePlatform::Native, u"Software\\K", c.stored, u"v");
    NativeHandle key = nullptr;
    ASSERT_EQ(fake.RegOpenKeyExW(RegistryRoot::LocalMachine, u"Software\\K", 0,
                                 KEY_READ, &key),
              ERROR_SUCCESS);
    std::uint32_t size = 0;
    EXPECT_EQ(fake.RegQueryValueExW(key, c.queried, nullptr, nullptr, &size),
              c.result)
        << Narrow(c.queried);
    fake.RegCloseKey(key);
  }
}

TEST(FakePlatformTest, BestFitWithoutTheFlagDefaultCharacterWithIt) {
  FakePlatform fake;
  const UnicodeString text = u"a\u2215b\uff3cc\uff02";
  char out[16] = {};
  ASSERT_EQ(fake.WideCharToMultiByte(1252, 0, text.data(), 6, out, 16), 6);
  EXPECT_EQ(std::string(out, 6), "a/b\\c\"");
  ASSERT_EQ(fake.WideCharToMultiByte(1252, WC_NO_BEST_FIT_CHARS, text.data(), 6,
                                     out, 16),
            6);
  EXPECT_EQ(std::string(out, 6), "a?b?c?");
  // UTF-8 refuses the flag, as Windows does.
  EXPECT_EQ(fake.WideCharToMultiByte(CP_UTF8, WC_NO_BEST_FIT_CHARS, text.data(),
                                     6, out, 16),
            0);
  EXPECT_EQ(fake.GetLastError(), ERROR_INVALID_FLAGS);
}

TEST(FakePlatformTest, Cp1252UnassignedBytesAreTheirC1Controls) {
  struct Case {
    unsigned char byte;
    char16_t unit;
  };
  const Case cases[] = {
      // The five positions without a character of their own.
      {0x81, 0x0081},
      {0x8D, 0x008D},
      {0x8F, 0x008F},
      {0x90, 0x0090},
      {0x9D, 0x009D},
      // Their neighbours keep the characters the code page gives them.
      {0x80, 0x20AC},
      {0x8E, 0x017D},
      {0x9E, 0x017E},
  };
  FakePlatform fake;
  for (const Case& c : cases) {
    const char byte = static_cast<char>(c.byte);
    char16_t unit = 0;
    ASSERT_EQ(fake.MultiByteToWideChar(1252, 0, &byte, 1, &unit, 1), 1)
        << int{c.byte};
    EXPECT_EQ(unit, c.unit) << int{c.byte};
    for (std::uint32_t flags : {0u, WC_NO_BEST_FIT_CHARS}) {
      char back = 0;
      ASSERT_EQ(fake.WideCharToMultiByte(1252, flags, &c.unit, 1, &back, 1), 1)
          << int{c.byte};
      EXPECT_EQ(static_cast<unsigned char>(back), c.byte)
          << int{c.byte} << " flags " << flags;
    }
  }
}

// What Microsoft's WideCharToMultiByte documentation says of dwFlags: it
// must be 0 for these code pages...
constexpr std::uint32_t kCodePagesWithoutFlags[] = {
    50220, 50221, 50222, 50225, 50227, 50229, 57002, 57003, 57004,
    57005, 57006, 57007, 57008, 57009, 57010, 57011, 65000, 42};
// ...and may only be WC_ERR_INVALID_CHARS for UTF-8 and GB18030.
constexpr std::uint32_t kCodePagesWithInvalidCharsOnly[] = {65001, 54936};

TEST(FakePlatformTest, RefusesFlagsExactlyWhereTheDocumentationDoes) {
  const std::set<std::uint32_t> without_flags(
      std::begin(kCodePagesWithoutFlags), std::end(kCodePagesWithoutFlags));
  const std::set<std::uint32_t> invalid_chars_only(
      std::begin(kCodePagesWithInvalidCharsOnly),
      std::end(kCodePagesWithInvalidCharsOnly));
  FakePlatform fake;
  const char16_t text[] = u"a";
  // Whether the conversion succeeds; a refusal must give ERROR_INVALID_FLAGS.
  const auto converts = [&](std::uint32_t code_page, std::uint32_t flags) {
    char out[4] = {};
    const int written =
        fake.WideCharToMultiByte(code_page, flags, text, 1, out, 4);
    if (written == 0) {
      EXPECT_EQ(fake.GetLastError(), ERROR_INVALID_FLAGS)
          << "code page " << code_page << " flags " << flags;
    }
    fake.calls.clear();
    return written != 0;
  };
  for (std::uint32_t code_page = 0; code_page <= 0xFFFF; ++code_page) {
    const bool restricted = without_flags.count(code_page) != 0 ||
                            invalid_chars_only.count(code_page) != 0;
    EXPECT_TRUE(converts(code_page, 0)) << code_page;
    EXPECT_EQ(converts(code_page, WC_NO_BEST_FIT_CHARS), !restricted)
        << code_page;
    if (restricted) {
      EXPECT_EQ(converts(code_page, WC_ERR_INVALID_CHARS),
                invalid_chars_only.count(code_page) != 0)
          << code_page;
    }
  }
}

TEST(FakePlatformTest, EveryCallIsLogged) {
  FakePlatform fake;
  fake.AddFile(u"C:\\App\\run.exe");
  fake.SetString(Hive::Wow32, u"Software\\K", u"V", u"text");
  NativeHandle file = nullptr;
  NativeHandle key = nullptr;
  ProcessInformation child;
  char16_t wide[8] = {};
  char ansi[8] = {};
  std::uint32_t number = 0;
  struct Step {
    const char* logged;  // what the call adds to the log
    std::function<void()> call;
  };
  // One step per method of the Platform interface, in an order that leaves
  // nothing open.
  const Step steps[] = {
      {"SetDefaultDllDirectories 2048",
       [&] { fake.SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32); }},
      {"GetCurrentDirectoryW", [&] { fake.GetCurrentDirectoryW(8, wide); }},
      {"GetACP", [&] { fake.GetACP(); }},
      {"WideCharToMultiByte 1252 1024",
       [&] {
         fake.WideCharToMultiByte(1252, WC_NO_BEST_FIT_CHARS, u"a", 1, ansi, 8);
       }},
      {"MultiByteToWideChar 1252 0",
       [&] { fake.MultiByteToWideChar(1252, 0, "a", 1, wide, 8); }},
      {"GetFileAttributesW c:\\app\\run.exe",
       [&] { fake.GetFileAttributesW(u"C:\\App\\run.exe"); }},
      {"CreateFileW c:\\app\\run.exe",
       [&] {
         file = fake.CreateFileW(u"C:\\App\\run.exe", GENERIC_READ,
                                 FILE_SHARE_READ, OPEN_EXISTING, 0);
       }},
      {"CloseHandle file", [&] { fake.CloseHandle(file); }},
      {"RegOpenKeyExW 131097",
       [&] {
         fake.RegOpenKeyExW(RegistryRoot::LocalMachine, u"Software\\K", 0,
                            KEY_READ, &key);
       }},
      {"RegQueryValueExW size",
       [&] { fake.RegQueryValueExW(key, u"V", nullptr, nullptr, &number); }},
      {"RegCloseKey", [&] { fake.RegCloseKey(key); }},
      {"CreateProcessA",
       [&] {
         ProcessStart start;
         start.command_line = "C:\\App\\run.exe";
         start.current_directory = "C:\\App";
         fake.CreateProcessA(start, &child);
       }},
      {"WaitForSingleObject",
       [&] { fake.WaitForSingleObject(child.process, INFINITE); }},
      {"GetExitCodeProcess",
       [&] { fake.GetExitCodeProcess(child.process, &number); }},
      {"CloseHandle process", [&] { fake.CloseHandle(child.process); }},
      {"CloseHandle thread", [&] { fake.CloseHandle(child.thread); }},
      {"GetLastError", [&] { fake.GetLastError(); }},
      {"MessageBoxA", [&] { fake.MessageBoxA("text", "caption", MB_OK); }},
  };
  for (const Step& step : steps) {
    const std::size_t before = fake.calls.size();
    step.call();
    ASSERT_EQ(fake.calls.size(), before + 1) << step.logged;
    EXPECT_EQ(fake.calls.back(), step.logged);
  }
  EXPECT_EQ(fake.open_handles(), 0);
}

TEST(FakePlatformTest, CurrentDirectoryTooSmallAsksForTheSize) {
  FakePlatform fake;
  fake.SetCurrentDirectory(u"C:\\Longer");
  char16_t buffer[4];
  EXPECT_EQ(fake.GetCurrentDirectoryW(4, buffer), 10u);
  char16_t enough[10];
  EXPECT_EQ(fake.GetCurrentDirectoryW(10, enough), 9u);
  EXPECT_EQ(UnicodeString(enough), u"C:\\Longer");
}

TEST(FakePlatformTest, ProgramMustExistToStart) {
  FakePlatform fake;
  ProcessStart start;
  start.current_directory = "C:\\App";
  ProcessInformation info;
  start.command_line = "\"C:\\App\\missing.exe\" x";
  EXPECT_FALSE(fake.CreateProcessA(start, &info));
  EXPECT_EQ(fake.GetLastError(), ERROR_FILE_NOT_FOUND);
  start.command_line = "\"C:\\Nowhere\\missing.exe\" x";
  EXPECT_FALSE(fake.CreateProcessA(start, &info));
  EXPECT_EQ(fake.GetLastError(), ERROR_PATH_NOT_FOUND);
  fake.AddFile(u"C:\\App\\run.exe");
  start.command_line = "\"C:\\App\\run.exe\" x";
  start.current_directory = "C:\\t_a?b";
  EXPECT_FALSE(fake.CreateProcessA(start, &info));
  EXPECT_EQ(fake.GetLastError(), ERROR_DIRECTORY);
}

// |count| copies of |piece|.
AnsiString Repeat(const char* piece, std::size_t count) {
  AnsiString text;
  for (std::size_t i = 0; i < count; ++i) text += piece;
  return text;
}

TEST(FakePlatformTest, NoChildStartsFromACurrentDirectoryOfMaxPathOrMore) {
  struct Case {
    const char* name;
    std::uint32_t code_page;
    std::size_t units;    // UTF-16 units of the directory, "C:\" included
    bool inherited;       // no directory passed: the fake's own is the child's
    std::uint32_t error;  // 0: the child starts
  };
  const Case cases[] = {
      {"passed, 259 units", 1252, 259, false, 0},
      {"passed, 260 units", 1252, 260, false, ERROR_DIRECTORY},
      {"passed, 261 units", 1252, 261, false, ERROR_DIRECTORY},
      {"inherited, 259 units", 1252, 259, true, 0},
      {"inherited, 260 units", 1252, 260, true, ERROR_DIRECTORY},
      {"inherited, 261 units", 1252, 261, true, ERROR_DIRECTORY},
      // Two bytes a character: the units count, not the bytes.
      {"passed as UTF-8, 259 units in 515 bytes", CP_UTF8, 259, false, 0},
      {"passed as UTF-8, 260 units", CP_UTF8, 260, false, ERROR_DIRECTORY},
  };
  for (const Case& c : cases) {
    FakePlatform fake;
    fake.code_page = c.code_page;
    // "C:\" and then U+00E3, one byte in 1252 and two in UTF-8.
    const UnicodeString directory =
        u"C:\\" + UnicodeString(c.units - 3, u'\u00e3');
    fake.AddFolder(directory);
    fake.AddFile(u"C:\\App\\run.exe");
    ProcessStart start;
    start.command_line = "C:\\App\\run.exe";
    if (c.inherited) {
      fake.SetCurrentDirectory(directory);
    } else {
      start.current_directory =
          "C:\\" +
          Repeat(c.code_page == CP_UTF8 ? "\xc3\xa3" : "\xe3", c.units - 3);
    }
    ProcessInformation child;
    const bool started = fake.CreateProcessA(start, &child);
    EXPECT_EQ(started, c.error == 0) << c.name;
    if (started) {
      fake.CloseHandle(child.process);
      fake.CloseHandle(child.thread);
    } else {
      EXPECT_EQ(fake.GetLastError(), c.error) << c.name;
    }
  }
}

int g_heap_frees = 0;
void CountHeapFree() { ++g_heap_frees; }

TEST(FakePlatformTest, ErrorCodeIsTheFailedCallsOwnUntilTheCallerFreesText) {
  // Long enough that the fake's working copies live on the heap.
  const UnicodeString missing = u"C:\\App\\" + UnicodeString(300, u'm');
  const AnsiString long_ansi(300, 'a');
  // The caller's own text outlives the calls: its free would count.
  ProcessStart start;
  start.command_line = "C:\\App\\" + AnsiString(300, 'm');
  start.current_directory = "C:\\App";
  struct Case {
    const char* name;
    std::function<bool(FakePlatform&)> fails;  // true when the call failed
    std::uint32_t error;
  };
  const Case cases[] = {
      {"GetFileAttributesW",
       [&](FakePlatform& f) {
         return f.GetFileAttributesW(missing.c_str()) ==
                INVALID_FILE_ATTRIBUTES;
       },
       ERROR_FILE_NOT_FOUND},
      {"CreateFileW",
       [&](FakePlatform& f) {
         return f.CreateFileW(missing.c_str(), GENERIC_READ, FILE_SHARE_READ,
                              OPEN_EXISTING, 0) == InvalidHandleValue();
       },
       ERROR_FILE_NOT_FOUND},
      {"CreateProcessA",
       [&](FakePlatform& f) {
         ProcessInformation child;
         return !f.CreateProcessA(start, &child);
       },
       ERROR_FILE_NOT_FOUND},
      {"MultiByteToWideChar",
       [&](FakePlatform& f) {
         char16_t out[4];
         return f.MultiByteToWideChar(1252, 0, long_ansi.data(), 300, out, 4) ==
                0;
       },
       ERROR_INSUFFICIENT_BUFFER},
  };
  for (const Case& c : cases) {
    {
      // The call frees text of its own before it returns: counted here with
      // the fake's watch on frees replaced, on a fake of its own.
      FakePlatform counted;
      g_heap_frees = 0;
      SetHeapReleaseObserver(&CountHeapFree);
      ASSERT_TRUE(c.fails(counted)) << c.name;
      EXPECT_GT(g_heap_frees, 0) << c.name;
    }
    // A new fake watches the frees again.
    FakePlatform fake;
    ASSERT_TRUE(c.fails(fake)) << c.name;
    EXPECT_EQ(fake.GetLastError(), c.error) << c.name;
    // Read twice: reading the code changes nothing.
    EXPECT_EQ(fake.GetLastError(), c.error) << c.name;

    ASSERT_TRUE(c.fails(fake)) << c.name;
    { const UnicodeString callers_text(300, u'x'); }
    EXPECT_EQ(fake.GetLastError(), fake.last_error_after_heap_free) << c.name;

    fake.last_error_after_heap_free = ERROR_NOT_ENOUGH_MEMORY;
    ASSERT_TRUE(c.fails(fake)) << c.name;
    { const AnsiString callers_text(300, 'x'); }
    EXPECT_EQ(fake.GetLastError(), ERROR_NOT_ENOUGH_MEMORY) << c.name;
  }
}

}  // namespace
}  // namespace platform
