#include "launcher/launch_sequence.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "launcher/child_process.h"
#include "launcher/runtime_lookup.h"
#include "platform/fake_platform.h"
#include "platform/win32_api.h"

namespace launcher {
namespace {

using platform::FakePlatform;
using Hive = FakePlatform::Hive;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr char16_t kKey17[] =
    u"Software\\JavaSoft\\Java Runtime Environment\\1.7";

bool ReadRegistry(const FakePlatform& fake) {
  return std::any_of(fake.calls.begin(), fake.calls.end(),
                     [](const std::string& call) {
                       return call.rfind("RegOpenKeyExW", 0) == 0;
                     });
}

TEST(IsAbsentErrorTest, OnlyTheNothingThereErrorsMeanAbsent) {
  for (std::uint32_t error :
       {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_NOT_READY,
        ERROR_BAD_NETPATH, ERROR_BAD_NET_NAME, ERROR_INVALID_NAME,
        ERROR_BAD_PATHNAME}) {
    EXPECT_TRUE(IsAbsentError(error)) << error;
  }
  for (std::uint32_t error :
       {ERROR_SUCCESS, ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION,
        ERROR_INVALID_PARAMETER, ERROR_CANT_ACCESS_FILE, ERROR_DIRECTORY,
        ERROR_NOT_ENOUGH_MEMORY}) {
    EXPECT_FALSE(IsAbsentError(error)) << error;
  }
}

TEST(FolderExistsTest, DecidesFromAttributesErrorsAndLinks) {
  struct Case {
    const char* name;
    std::function<void(FakePlatform&)> setup;
    bool expected;
  };
  const UnicodeString path = u"C:\\App\\Java";
  const Case cases[] = {
      {"folder", [&](FakePlatform& f) { f.AddFolder(path); }, true},
      {"read-only hidden folder",
       [&](FakePlatform& f) {
         f.AddFolder(path, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
       },
       true},
      {"file", [&](FakePlatform& f) { f.AddFile(path); }, false},
      {"nothing there", [](FakePlatform&) {}, false},
      {"access denied counts as present",
       [&](FakePlatform& f) {
         f.Entry(path).attributes_error = ERROR_ACCESS_DENIED;
       },
       true},
      {"sharing violation counts as present",
       [&](FakePlatform& f) {
         f.Entry(path).attributes_error = ERROR_SHARING_VIOLATION;
       },
       true},
      {"drive not ready",
       [&](FakePlatform& f) {
         f.Entry(path).attributes_error = ERROR_NOT_READY;
       },
       false},
      {"network path gone",
       [&](FakePlatform& f) {
         f.Entry(path).attributes_error = ERROR_BAD_NETPATH;
       },
       false},
      {"network share gone",
       [&](FakePlatform& f) {
         f.Entry(path).attributes_error = ERROR_BAD_NET_NAME;
       },
       false},
      {"bad path name",
       [&](FakePlatform& f) {
         f.Entry(path).attributes_error = ERROR_BAD_PATHNAME;
       },
       false},
      {"junction whose target opens",
       [&](FakePlatform& f) {
         f.AddFolder(path, FILE_ATTRIBUTE_REPARSE_POINT);
       },
       true},
      {"dangling junction",
       [&](FakePlatform& f) {
         f.AddFolder(path, FILE_ATTRIBUTE_REPARSE_POINT);
         f.Entry(path).open_error = ERROR_FILE_NOT_FOUND;
       },
       false},
      {"junction whose target denies access",
       [&](FakePlatform& f) {
         f.AddFolder(path, FILE_ATTRIBUTE_REPARSE_POINT);
         f.Entry(path).open_error = ERROR_ACCESS_DENIED;
       },
       false},
      {"file symlink whose target opens",
       [&](FakePlatform& f) {
         f.AddFile(path, FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_REPARSE_POINT);
       },
       false},
  };
  for (const Case& c : cases) {
    FakePlatform fake;
    c.setup(fake);
    EXPECT_EQ(FolderExists(fake, "C:\\App\\Java"), c.expected) << c.name;
    EXPECT_EQ(fake.open_files(), 0) << c.name;
  }
}

TEST(FolderExistsTest, OnlyReparsePointsAreOpened) {
  FakePlatform plain;
  plain.AddFolder(u"C:\\App\\Java");
  FolderExists(plain, "C:\\App\\Java");
  EXPECT_EQ(std::count(plain.calls.begin(), plain.calls.end(),
                       "CreateFileW c:\\app\\java"),
            0);

  FakePlatform link;
  link.AddFolder(u"C:\\App\\Java", FILE_ATTRIBUTE_REPARSE_POINT);
  FolderExists(link, "C:\\App\\Java");
  EXPECT_THAT(link.calls, ::testing::Contains("CreateFileW c:\\app\\java"));
  EXPECT_THAT(link.calls, ::testing::Contains("CloseHandle file"));
}

// A machine with the archive's folder at C:\App, and knobs per case.
struct Machine {
  void RegisterRuntime(const UnicodeString& home) {
    fake_.SetString(Hive::Wow32, kKey17, u"JavaHome", home);
    fake_.AddFile(home + u"\\bin\\Javaw.exe");
  }
  void AddLocalRuntime(const UnicodeString& directory) {
    fake_.AddFolder(directory + u"\\Java");
    fake_.AddFile(directory + u"\\Java\\bin\\Javaw.exe");
  }
  const AnsiString& StartedCommandLine() {
    static const AnsiString none;
    return fake_.started.empty() ? none : fake_.started.back().command_line;
  }

  FakePlatform fake_;
};

class RunLauncherTest : public ::testing::Test, public Machine {};

TEST_F(RunLauncherTest, LocalRuntimeWinsAndTheRegistryIsNotRead) {
  AddLocalRuntime(u"C:\\App");
  RegisterRuntime(u"C:\\jre7");
  fake_.child_exit_code = 0;
  EXPECT_EQ(RunLauncher(fake_), 0u);
  EXPECT_EQ(StartedCommandLine(),
            "\"C:\\App\\Java\\bin\\Javaw.exe\" -jar -Xmx768m "
            "\"C:\\App\\molk2014.jar\"");
  EXPECT_EQ(fake_.started.back().current_directory, "C:\\App");
  EXPECT_FALSE(ReadRegistry(fake_));
  EXPECT_TRUE(fake_.boxes.empty());
}

TEST_F(RunLauncherTest, ChoosesTheRuntime) {
  struct Case {
    const char* name;
    std::function<void(Machine&)> setup;
    AnsiString program;  // as it stands quoted in the command line
    bool registry_read;
  };
  const Case cases[] = {
      {"a file named Java: registered runtime",
       [](Machine& t) {
         t.fake_.AddFile(u"C:\\App\\Java");
         t.RegisterRuntime(u"C:\\Program Files\\Java\\jre7");
       },
       "C:\\Program Files\\Java\\jre7\\bin\\Javaw.exe", true},
      {"unreadable Java folder counts as local",
       [](Machine& t) {
         t.fake_.Entry(u"C:\\App\\Java").attributes_error = ERROR_ACCESS_DENIED;
         t.RegisterRuntime(u"C:\\jre7");
       },
       "C:\\App\\Java\\bin\\Javaw.exe", false},
      {"Java folder without Javaw.exe: no second choice",
       [](Machine& t) {
         t.fake_.AddFolder(u"C:\\App\\Java");
         t.RegisterRuntime(u"C:\\jre7");
       },
       "C:\\App\\Java\\bin\\Javaw.exe", false},
      {"registered home ending in a backslash",
       [](Machine& t) { t.RegisterRuntime(u"C:\\jre7\\"); },
       "C:\\jre7\\\\bin\\Javaw.exe", true},
      {"REG_EXPAND_SZ home passed on unexpanded",
       [](Machine& t) {
         t.fake_.SetString(Hive::Wow32, kKey17, u"JavaHome",
                           u"%ProgramFiles%\\Java\\jre7", REG_EXPAND_SZ);
       },
       "%ProgramFiles%\\Java\\jre7\\bin\\Javaw.exe", true},
      {"junction to the runtime",
       [](Machine& t) {
         t.fake_.AddFolder(u"C:\\App\\Java", FILE_ATTRIBUTE_REPARSE_POINT);
         t.fake_.AddFile(u"C:\\App\\Java\\bin\\Javaw.exe");
       },
       "C:\\App\\Java\\bin\\Javaw.exe", false},
      {"dangling junction: registered runtime",
       [](Machine& t) {
         t.fake_.AddFolder(u"C:\\App\\Java", FILE_ATTRIBUTE_REPARSE_POINT);
         t.fake_.Entry(u"C:\\App\\Java").open_error = ERROR_FILE_NOT_FOUND;
         t.RegisterRuntime(u"C:\\jre7");
       },
       "C:\\jre7\\bin\\Javaw.exe", true},
  };
  for (const Case& c : cases) {
    Machine t;
    c.setup(t);
    RunLauncher(t.fake_);
    EXPECT_EQ(t.StartedCommandLine(),
              "\"" + c.program + "\" -jar -Xmx768m \"C:\\App\\molk2014.jar\"")
        << c.name;
    EXPECT_EQ(ReadRegistry(t.fake_), c.registry_read) << c.name;
  }
}

TEST_F(RunLauncherTest, NoRegisteredHomeStartsNothing) {
  // With no home the program would be the rooted \bin\Javaw.exe, which
  // Windows looks for on the current drive: a planted C:\bin\Javaw.exe.
  struct Case {
    const char* name;
    std::function<void(FakePlatform&)> setup;
  };
  const Case cases[] = {
      {"key absent in both views", [](FakePlatform&) {}},
      {"only 1.8 registered",
       [](FakePlatform& f) {
         f.SetString(Hive::Wow32,
                     u"Software\\JavaSoft\\Java Runtime Environment\\1.8",
                     u"JavaHome", u"C:\\jre8");
       }},
      {"key without JavaHome",
       [](FakePlatform& f) { f.AddKey(Hive::Wow32, kKey17); }},
      {"empty JavaHome",
       [](FakePlatform& f) {
         f.SetValue(Hive::Native64, kKey17, u"JavaHome", REG_SZ, {});
       }},
      {"JavaHome of a lone NUL",
       [](FakePlatform& f) {
         f.SetString(Hive::Wow32, kKey17, u"JavaHome", u"");
       }},
      {"64-bit key without a value hides the 32-bit one",
       [](FakePlatform& f) {
         f.AddKey(Hive::Native64, kKey17);
         f.SetString(Hive::Wow32, kKey17, u"JavaHome", u"C:\\jre7");
         f.AddFile(u"C:\\jre7\\bin\\Javaw.exe");
       }},
  };
  for (const Case& c : cases) {
    FakePlatform fake;
    fake.AddFile(u"C:\\bin\\Javaw.exe");
    c.setup(fake);
    EXPECT_EQ(RunLauncher(fake), 2u) << c.name;
    EXPECT_TRUE(fake.started.empty()) << c.name;
    ASSERT_EQ(fake.boxes.size(), 1u) << c.name;
    EXPECT_EQ(fake.boxes[0].text, "Erro 2 ao executar o aplicativo.") << c.name;
    EXPECT_EQ(fake.boxes[0].caption, "Erro") << c.name;
    EXPECT_EQ(fake.boxes[0].type, MB_ICONERROR | MB_OK) << c.name;
    EXPECT_EQ(fake.open_handles(), 0) << c.name;
  }
}

TEST_F(RunLauncherTest, SystemLibrariesThatCannotBeLoadedFailTheirCalls) {
  // advapi32 missing: the registry cannot be read, which is no registered
  // runtime; the local one needs no registry at all.
  FakePlatform no_registry;
  no_registry.advapi32_unavailable_error = ERROR_MOD_NOT_FOUND;
  no_registry.SetString(Hive::Native64, kKey17, u"JavaHome", u"C:\\jre7");
  no_registry.AddFile(u"C:\\jre7\\bin\\Javaw.exe");
  EXPECT_EQ(RunLauncher(no_registry), 2u);
  EXPECT_TRUE(no_registry.started.empty());
  ASSERT_EQ(no_registry.boxes.size(), 1u);
  EXPECT_EQ(no_registry.boxes[0].text, "Erro 2 ao executar o aplicativo.");

  AddLocalRuntime(u"C:\\App");
  fake_.advapi32_unavailable_error = ERROR_MOD_NOT_FOUND;
  fake_.child_exit_code = 7;
  EXPECT_EQ(RunLauncher(fake_), 7u);
  EXPECT_FALSE(ReadRegistry(fake_));

  // user32 missing: the box cannot be shown, and the exit code still tells
  // what failed.
  FakePlatform no_box;
  no_box.user32_unavailable_error = ERROR_MOD_NOT_FOUND;
  no_box.AddFolder(u"C:\\App\\Java");
  EXPECT_EQ(RunLauncher(no_box),
            static_cast<std::uint32_t>(ERROR_PATH_NOT_FOUND));
  EXPECT_TRUE(no_box.boxes.empty());
  EXPECT_EQ(std::count(no_box.calls.begin(), no_box.calls.end(), "MessageBoxA"),
            1);
}

TEST_F(RunLauncherTest, DriveRootDoublesTheBackslash) {
  fake_.SetCurrentDirectory(u"C:\\");
  AddLocalRuntime(u"C:");
  EXPECT_EQ(RunLauncher(fake_), 0u);
  EXPECT_EQ(StartedCommandLine(),
            "\"C:\\\\Java\\bin\\Javaw.exe\" -jar -Xmx768m "
            "\"C:\\\\molk2014.jar\"");
  EXPECT_EQ(fake_.started.back().current_directory, "C:\\");
}

TEST_F(RunLauncherTest, ExitCodeTellsWhatHappened) {
  struct Case {
    const char* name;
    std::function<void(Machine&)> setup;
    std::uint32_t exit_code;
    const char* box;  // the error box's text, or null for none
    std::size_t starts;
  };
  const Case cases[] = {
      {"child ended with 0", [](Machine& t) { t.AddLocalRuntime(u"C:\\App"); },
       0, nullptr, 1},
      {"child ended with 3",
       [](Machine& t) {
         t.AddLocalRuntime(u"C:\\App");
         t.fake_.child_exit_code = 3;
       },
       3, nullptr, 1},
      {"child's exit code is passed on whole",
       [](Machine& t) {
         t.AddLocalRuntime(u"C:\\App");
         t.fake_.child_exit_code = 0xC0000005u;
       },
       0xC0000005u, nullptr, 1},
      {"no runtime: the not-found code, nothing started", [](Machine&) {},
       ERROR_FILE_NOT_FOUND, "Erro 2 ao executar o aplicativo.", 0},
      {"local folder without Javaw.exe",
       [](Machine& t) { t.fake_.AddFolder(u"C:\\App\\Java"); },
       ERROR_PATH_NOT_FOUND, "Erro 3 ao executar o aplicativo.", 1},
      {"start refused",
       [](Machine& t) {
         t.AddLocalRuntime(u"C:\\App");
         t.fake_.start_error = ERROR_ACCESS_DENIED;
       },
       ERROR_ACCESS_DENIED, "Erro 5 ao executar o aplicativo.", 1},
      {"current directory unreadable",
       [](Machine& t) {
         t.AddLocalRuntime(u"C:\\App");
         t.fake_.current_directory_error = ERROR_ACCESS_DENIED;
       },
       ERROR_ACCESS_DENIED, "Erro 5 ao executar o aplicativo.", 0},
  };
  for (const Case& c : cases) {
    Machine t;
    c.setup(t);
    EXPECT_EQ(RunLauncher(t.fake_), c.exit_code) << c.name;
    EXPECT_EQ(t.fake_.started.size(), c.starts) << c.name;
    if (c.box == nullptr) {
      EXPECT_TRUE(t.fake_.boxes.empty()) << c.name;
    } else {
      ASSERT_EQ(t.fake_.boxes.size(), 1u) << c.name;
      EXPECT_EQ(t.fake_.boxes[0].text, c.box) << c.name;
    }
  }
}

TEST_F(RunLauncherTest, LongCurrentDirectoryIsReadAgainWithTheSizeAsked) {
  // 303 characters do not fit the first buffer. Read again with the size
  // asked, the whole directory reaches the start, which Windows then refuses:
  // no child starts from a directory of MAX_PATH units or more.
  const UnicodeString long_directory = u"C:\\" + UnicodeString(300, u'd');
  fake_.SetCurrentDirectory(long_directory);
  fake_.AddFolder(long_directory);
  RegisterRuntime(u"C:\\jre7");
  EXPECT_EQ(RunLauncher(fake_), 267u);
  ASSERT_EQ(fake_.boxes.size(), 1u);
  EXPECT_EQ(fake_.boxes[0].text, "Erro 267 ao executar o aplicativo.");
  ASSERT_EQ(fake_.started.size(), 1u);
  EXPECT_EQ(fake_.started[0].current_directory, "C:\\" + AnsiString(300, 'd'));
  EXPECT_THAT(StartedCommandLine(), Not(HasSubstr("#")));
  EXPECT_EQ(std::count(fake_.calls.begin(), fake_.calls.end(),
                       "GetCurrentDirectoryW"),
            2);
}

TEST_F(RunLauncherTest, NoChildStartsFromADirectoryOfMaxPathOrMore) {
  struct Case {
    std::size_t units;  // of the current directory, "C:\" included
    std::uint32_t exit_code;
    const char* box;  // the error box's text, or null for none
  };
  const Case cases[] = {
      {259, 0, nullptr},
      {260, 267, "Erro 267 ao executar o aplicativo."},
      {261, 267, "Erro 267 ao executar o aplicativo."},
  };
  for (const Case& c : cases) {
    Machine t;
    const UnicodeString directory = u"C:\\" + UnicodeString(c.units - 3, u'd');
    t.fake_.SetCurrentDirectory(directory);
    t.fake_.AddFolder(directory);
    t.RegisterRuntime(u"C:\\jre7");
    EXPECT_EQ(RunLauncher(t.fake_), c.exit_code) << c.units;
    // The launcher passes the directory it read: the start is tried each time.
    ASSERT_EQ(t.fake_.started.size(), 1u) << c.units;
    EXPECT_EQ(t.fake_.started[0].current_directory,
              "C:\\" + AnsiString(c.units - 3, 'd'))
        << c.units;
    if (c.box == nullptr) {
      EXPECT_TRUE(t.fake_.boxes.empty()) << c.units;
    } else {
      ASSERT_EQ(t.fake_.boxes.size(), 1u) << c.units;
      EXPECT_EQ(t.fake_.boxes[0].text, c.box) << c.units;
    }
  }
}

TEST_F(RunLauncherTest, DirectoryThatKeepsGrowingIsAFailureNotALoop) {
  fake_.SetCurrentDirectory(u"C:\\" + UnicodeString(300, u'd'));
  fake_.current_directory_growth = 10;
  EXPECT_EQ(RunLauncher(fake_),
            static_cast<std::uint32_t>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_TRUE(fake_.started.empty());
  ASSERT_EQ(fake_.boxes.size(), 1u);
  EXPECT_EQ(fake_.boxes[0].text, "Erro 122 ao executar o aplicativo.");
}

TEST_F(RunLauncherTest, LookAlikeCharactersCannotRedirectTheStart) {
  struct Case {
    const char* name;
    UnicodeString folder;
  };
  const Case cases[] = {
      {"division slash", u"C:\\t_a\u2215b"},
      {"full-width reverse solidus", u"C:\\t_a\uff3cb"},
      {"full-width quotation mark", u"C:\\t_a\uff02b"},
      {"character without a look-alike", u"C:\\t_a\u4e2db"},
  };
  for (const Case& c : cases) {
    Machine t;
    t.fake_.SetCurrentDirectory(c.folder);
    t.fake_.AddFolder(c.folder);
    t.AddLocalRuntime(c.folder);
    // What a best-fit conversion would name instead: t_a\b and its runtime.
    t.fake_.AddFolder(u"C:\\t_a");
    t.fake_.AddFolder(u"C:\\t_a\\b");
    t.AddLocalRuntime(u"C:\\t_a\\b");
    t.RegisterRuntime(u"C:\\jre7");
    // The folder's name comes out with a '?', which names nothing: no local
    // runtime, so the registered one is started, and Windows refuses a
    // current directory that is no folder.
    EXPECT_EQ(RunLauncher(t.fake_), ERROR_DIRECTORY) << c.name;
    ASSERT_EQ(t.fake_.started.size(), 1u) << c.name;
    const AnsiString& line = t.StartedCommandLine();
    EXPECT_THAT(line, Not(HasSubstr("t_a\\b"))) << c.name;
    EXPECT_THAT(line, Not(HasSubstr("t_a/b"))) << c.name;
    EXPECT_EQ(std::count(line.begin(), line.end(), '"'), 4) << c.name;
    EXPECT_EQ(t.fake_.started[0].current_directory, "C:\\t_a?b") << c.name;
    ASSERT_EQ(t.fake_.boxes.size(), 1u) << c.name;
    EXPECT_EQ(t.fake_.boxes[0].text, "Erro 267 ao executar o aplicativo.")
        << c.name;
  }
}

TEST_F(RunLauncherTest, Utf8CodePageKeepsEveryCharacter) {
  const UnicodeString folder = u"C:\\t_a\u2215b";
  fake_.code_page = CP_UTF8;
  fake_.SetCurrentDirectory(folder);
  fake_.AddFolder(folder);
  AddLocalRuntime(folder);
  EXPECT_EQ(RunLauncher(fake_), 0u);
  EXPECT_EQ(fake_.started.back().current_directory,
            "C:\\t_a\xe2\x88\x95"
            "b");
}

TEST_F(RunLauncherTest, NoKeyOrFileIsOpenWhileTheChildRuns) {
  // The fake fails the test when a key or file handle is open at the start;
  // this walks the paths that open both before starting.
  fake_.AddFolder(u"C:\\App\\Java", FILE_ATTRIBUTE_REPARSE_POINT);
  fake_.Entry(u"C:\\App\\Java").open_error = 0;
  fake_.AddFile(u"C:\\App\\Java\\bin\\Javaw.exe");
  EXPECT_EQ(RunLauncher(fake_), 0u);
  FakePlatform registered;
  registered.SetString(Hive::Native64, kKey17, u"JavaHome", u"C:\\jre7");
  registered.AddFile(u"C:\\jre7\\bin\\Javaw.exe");
  EXPECT_EQ(RunLauncher(registered), 0u);
  EXPECT_EQ(registered.started.size(), 1u);
}

class RunFromEntryPointTest : public RunLauncherTest {};

TEST_F(RunFromEntryPointTest, RestrictsDllSearchBeforeAnythingElse) {
  // The fake logs every platform call, the code page look-ups and
  // conversions included, so nothing can come before the restriction
  // unseen.
  AddLocalRuntime(u"C:\\App");
  EXPECT_EQ(RunFromEntryPoint(fake_), 0u);
  ASSERT_FALSE(fake_.calls.empty());
  EXPECT_EQ(fake_.calls.front(), "SetDefaultDllDirectories 2048");
  EXPECT_EQ(std::count(fake_.calls.begin(), fake_.calls.end(),
                       "SetDefaultDllDirectories 2048"),
            1);
}

TEST_F(RunFromEntryPointTest, LaunchesWhereTheSystemLacksTheRestriction) {
  AddLocalRuntime(u"C:\\App");
  fake_.dll_directories_available = false;
  fake_.child_exit_code = 5;
  EXPECT_EQ(RunFromEntryPoint(fake_), 5u);
  EXPECT_EQ(fake_.started.size(), 1u);
}

TEST_F(RunFromEntryPointTest, RegistryReadErrorEndsInABoxAndExitCodeOne) {
  struct Case {
    const char* name;
    std::uint32_t type;
    std::int32_t read_error;
    const char* text;
  };
  const Case cases[] = {
      {"REG_DWORD", REG_DWORD, 0, "Invalid data type for 'JavaHome'"},
      {"second read fails", REG_SZ, ERROR_MORE_DATA,
       "Failed to get data for 'JavaHome'"},
  };
  for (const Case& c : cases) {
    FakePlatform fake;
    fake.SetValue(Hive::Native64, kKey17, u"JavaHome", c.type, {7, 0, 0, 0});
    fake.value_read_error = c.read_error;
    EXPECT_EQ(RunFromEntryPoint(fake), 1u) << c.name;
    EXPECT_TRUE(fake.started.empty()) << c.name;
    ASSERT_EQ(fake.boxes.size(), 1u) << c.name;
    EXPECT_EQ(fake.boxes[0].text, c.text) << c.name;
    EXPECT_EQ(fake.boxes[0].caption, "Erro") << c.name;
    EXPECT_EQ(fake.boxes[0].type, MB_ICONERROR | MB_OK) << c.name;
    EXPECT_EQ(fake.open_registry_keys(), 0) << c.name;
  }
}

}  // namespace
}  // namespace launcher
