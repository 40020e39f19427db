#include "launcher/child_process.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "launcher/launch_sequence.h"
#include "platform/fake_platform.h"
#include "platform/win32_api.h"

namespace launcher {
namespace {

using platform::FakePlatform;
using ::testing::ElementsAre;

TEST(BuildCommandLineTest, QuotesTheProgramAndTheArchivePath) {
  struct Case {
    AnsiString runtime_launcher_path;
    AnsiString working_directory;
    AnsiString expected;
  };
  const Case cases[] = {
      {"C:\\App\\Java\\bin\\Javaw.exe", "C:\\App",
       "\"C:\\App\\Java\\bin\\Javaw.exe\" -jar -Xmx768m "
       "\"C:\\App\\molk2014.jar\""},
      // Blanks stay inside the quotes: no "C:\Program" to be run instead.
      {"C:\\Program Files\\Java\\jre7\\bin\\Javaw.exe", "C:\\My App",
       "\"C:\\Program Files\\Java\\jre7\\bin\\Javaw.exe\" -jar -Xmx768m "
       "\"C:\\My App\\molk2014.jar\""},
      // A drive root keeps its backslash and gains one: nothing is folded.
      {"C:\\\\Java\\bin\\Javaw.exe", "C:\\",
       "\"C:\\\\Java\\bin\\Javaw.exe\" -jar -Xmx768m \"C:\\\\molk2014.jar\""},
      // No runtime found: the bare suffix, which cannot start.
      {"\\bin\\Javaw.exe", "D:\\x",
       "\"\\bin\\Javaw.exe\" -jar -Xmx768m \"D:\\x\\molk2014.jar\""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BuildCommandLine(c.runtime_launcher_path, c.working_directory,
                               ArchiveName),
              c.expected);
  }
}

TEST(ChildProcessStartTest, HiddenInheritingChildInTheWorkingDirectory) {
  const platform::ProcessStart start =
      ChildProcessStart("\"C:\\J\\bin\\Javaw.exe\" x", "C:\\Work Dir");
  EXPECT_EQ(start.application_name, nullptr);
  EXPECT_EQ(start.command_line, "\"C:\\J\\bin\\Javaw.exe\" x");
  EXPECT_TRUE(start.inherit_handles);
  EXPECT_EQ(start.creation_flags, 0u);
  EXPECT_EQ(start.environment, nullptr);
  EXPECT_EQ(start.current_directory, "C:\\Work Dir");
  EXPECT_EQ(start.startup.flags, STARTF_USESHOWWINDOW);
  EXPECT_EQ(start.startup.show_window, SW_HIDE);
}

class StartAndWaitTest : public ::testing::Test {
 protected:
  StartAndWaitTest() { fake_.AddFile(u"C:\\App\\Java\\bin\\Javaw.exe"); }

  std::uint32_t Run(
      const AnsiString& program = "C:\\App\\Java\\bin\\Javaw.exe") {
    return StartAndWait(
        fake_, BuildCommandLine(program, "C:\\App", ArchiveName), "C:\\App");
  }

  std::vector<std::string> CallsFromStart() const {
    const auto start =
        std::find(fake_.calls.begin(), fake_.calls.end(), "CreateProcessA");
    return std::vector<std::string>(start, fake_.calls.end());
  }

  FakePlatform fake_;
};

TEST_F(StartAndWaitTest, WaitsThenClosesProcessThenThreadAndReturnsExitCode) {
  fake_.child_exit_code = 42;
  EXPECT_EQ(Run(), 42u);
  ASSERT_EQ(fake_.started.size(), 1u);
  EXPECT_EQ(fake_.started[0].current_directory, "C:\\App");
  EXPECT_THAT(
      CallsFromStart(),
      ElementsAre("CreateProcessA", "WaitForSingleObject", "GetExitCodeProcess",
                  "CloseHandle process", "CloseHandle thread"));
  EXPECT_TRUE(fake_.boxes.empty());
  EXPECT_EQ(fake_.open_handles(), 0);
}

TEST_F(StartAndWaitTest, ExitCodeZeroOfTheChildIsZero) {
  fake_.child_exit_code = 0;
  EXPECT_EQ(Run(), 0u);
}

TEST_F(StartAndWaitTest, FailedStartIsReportedAndItsCodeReturned) {
  struct Case {
    const char* name;
    AnsiString program;
    std::uint32_t forced_error;
    std::uint32_t expected;
    const char* text;  // of the error box
  };
  const Case cases[] = {
      {"missing program file", "C:\\App\\Java\\bin\\Nope.exe", 0,
       ERROR_FILE_NOT_FOUND, "Erro 2 ao executar o aplicativo."},
      {"missing folder", "\\bin\\Javaw.exe", 0, ERROR_PATH_NOT_FOUND,
       "Erro 3 ao executar o aplicativo."},
      {"not a valid executable", "C:\\App\\Java\\bin\\Javaw.exe",
       ERROR_BAD_EXE_FORMAT, ERROR_BAD_EXE_FORMAT,
       "Erro 193 ao executar o aplicativo."},
      {"access denied", "C:\\App\\Java\\bin\\Javaw.exe", ERROR_ACCESS_DENIED,
       ERROR_ACCESS_DENIED, "Erro 5 ao executar o aplicativo."},
  };
  for (const Case& c : cases) {
    FakePlatform fake;
    fake.AddFile(u"C:\\App\\Java\\bin\\Javaw.exe");
    fake.start_error = c.forced_error;
    EXPECT_EQ(
        StartAndWait(fake, BuildCommandLine(c.program, "C:\\App", ArchiveName),
                     "C:\\App"),
        c.expected)
        << c.name;
    ASSERT_EQ(fake.boxes.size(), 1u) << c.name;
    EXPECT_EQ(fake.boxes[0].text, c.text) << c.name;
    EXPECT_EQ(
        std::count(fake.calls.begin(), fake.calls.end(), "WaitForSingleObject"),
        0)
        << c.name;
    EXPECT_EQ(fake.open_handles(), 0) << c.name;
  }
}

TEST_F(StartAndWaitTest, FailedWaitOrExitCodeReadReturnsTheError) {
  fake_.wait_error = ERROR_INVALID_HANDLE;
  EXPECT_EQ(Run(), static_cast<std::uint32_t>(ERROR_INVALID_HANDLE));
  FakePlatform other;
  other.AddFile(u"C:\\App\\Java\\bin\\Javaw.exe");
  other.exit_code_error = ERROR_ACCESS_DENIED;
  EXPECT_EQ(StartAndWait(other,
                         BuildCommandLine("C:\\App\\Java\\bin\\Javaw.exe",
                                          "C:\\App", ArchiveName),
                         "C:\\App"),
            static_cast<std::uint32_t>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(fake_.boxes.empty());
  EXPECT_TRUE(other.boxes.empty());
}

TEST(ReportLaunchFailureTest, PortugueseTextWithSignedCodeInAnErrorBox) {
  struct Case {
    std::uint32_t code;
    const char* text;
  };
  const Case cases[] = {
      {2, "Erro 2 ao executar o aplicativo."},
      {3, "Erro 3 ao executar o aplicativo."},
      {267, "Erro 267 ao executar o aplicativo."},
      {0x80070005u, "Erro -2147024891 ao executar o aplicativo."},
      {0xFFFFFFFFu, "Erro -1 ao executar o aplicativo."},
  };
  for (const Case& c : cases) {
    FakePlatform fake;
    ReportLaunchFailure(fake, c.code);
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.boxes[0].text, c.text);
    EXPECT_EQ(fake.boxes[0].caption, "Erro");
    EXPECT_EQ(fake.boxes[0].type, MB_ICONERROR | MB_OK);
  }
}

}  // namespace
}  // namespace launcher
