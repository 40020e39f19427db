// Fuzzes the composition of the child's command line from the runtime home
// and the working directory, and reads it back the way Windows and the C
// runtime of the child do.
//
// Input: one setup byte, then the two texts separated by the first NUL
// (further NULs are dropped: neither text can hold one).
//   setup bit 0  0: the texts are ANSI bytes, as composed;
//                1: they are UTF-16 (little-endian) as the wide Windows calls
//                deliver them, less any '"' (no Windows path holds one), and
//                reach the composition through launcher::ToAnsi
//   setup bit 1  ANSI code page UTF-8 instead of 1252 (UTF-16 texts only)
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "launcher/ansi_text.h"
#include "launcher/child_process.h"
#include "launcher/launch_sequence.h"
#include "platform/fake_platform.h"
#include "platform/win32_api.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The program name as CreateProcess and the C runtime's argv[0] read it: a
// leading quote runs to the next quote, with no escapes; else the name ends
// at the first blank.
platform::AnsiString ReadProgramName(const platform::AnsiString& line,
                                     std::size_t* i) {
  platform::AnsiString program;
  if (*i < line.size() && line[*i] == '"') {
    for (++*i; *i < line.size() && line[*i] != '"'; ++*i) {
      program.push_back(line[*i]);
    }
    if (*i < line.size()) ++*i;  // the closing quote
  } else {
    for (; *i < line.size() && !IsBlank(line[*i]); ++*i) {
      program.push_back(line[*i]);
    }
  }
  return program;
}

// One further argument as the C runtime reads it: 2n backslashes and a
// quote give n backslashes and toggle quoting, 2n+1 backslashes and a quote
// give n backslashes and a literal quote, other backslashes are literal, and
// a doubled quote inside quotes is a literal quote.
platform::AnsiString ReadArgument(const platform::AnsiString& line,
                                  std::size_t* i) {
  platform::AnsiString arg;
  bool quoted = false;
  while (*i < line.size()) {
    std::size_t backslashes = 0;
    for (; *i < line.size() && line[*i] == '\\'; ++*i) ++backslashes;
    if (*i < line.size() && line[*i] == '"') {
      arg.append(backslashes / 2, '\\');
      if (backslashes % 2 == 1) {
        arg.push_back('"');
      } else if (quoted && *i + 1 < line.size() && line[*i + 1] == '"') {
        arg.push_back('"');
        ++*i;
      } else {
        quoted = !quoted;
      }
      ++*i;
      continue;
    }
    arg.append(backslashes, '\\');
    if (*i == line.size() || (!quoted && IsBlank(line[*i]))) break;
    arg.push_back(line[(*i)++]);
  }
  return arg;
}

// The arguments a command line holds, the program name first.
std::vector<platform::AnsiString> SplitCommandLine(
    const platform::AnsiString& line) {
  std::size_t i = 0;
  std::vector<platform::AnsiString> args{ReadProgramName(line, &i)};
  for (;;) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i == line.size()) break;
    args.push_back(ReadArgument(line, &i));
  }
  return args;
}

platform::UnicodeString Utf16(const platform::AnsiString& bytes) {
  platform::UnicodeString text;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    text.push_back(
        static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                              (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
  return text;
}

platform::AnsiString Ansi(platform::FakePlatform& fake,
                          const platform::UnicodeString& text) {
  platform::AnsiString ansi;
  FUZZ_CHECK(launcher::ToAnsi(fake, text, &ansi), "conversion failed");
  return ansi;
}

void CheckCommandLine(const platform::AnsiString& home,
                      const platform::AnsiString& working_directory) {
  const platform::AnsiString program = home + launcher::RuntimeLauncherSuffix;
  const platform::AnsiString archive =
      working_directory + "\\" + launcher::ArchiveName;
  const platform::AnsiString line = launcher::BuildCommandLine(
      program, working_directory, launcher::ArchiveName);
  const std::vector<platform::AnsiString> args = SplitCommandLine(line);

  // Whatever the texts hold, the program Windows starts is the runtime
  // launcher path up to its first quote: never a leading piece cut at a
  // blank, never text from the working directory or the options.
  FUZZ_CHECK(args[0] == program.substr(0, program.find('"')),
             "program name is not the runtime launcher path: " + args[0]);

  if (program.find('"') != platform::AnsiString::npos) return;
  // A quote in the working directory alone reaches only the archive
  // argument: the program and the options before it stay as they are.
  FUZZ_CHECK(args.size() >= 3 && args[1] == "-jar" && args[2] == "-Xmx768m",
             "options changed: " + line);

  if (working_directory.find('"') != platform::AnsiString::npos) return;
  // No quote in either text: four arguments, the two paths verbatim, each
  // inside one pair of quotes, and nothing after the archive path.
  FUZZ_CHECK(args.size() == 4, "not four arguments: " + line);
  FUZZ_CHECK(args[3] == archive, "archive path changed: " + args[3]);
  std::vector<std::size_t> quotes;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '"') quotes.push_back(i);
  }
  FUZZ_CHECK(quotes.size() == 4, "not two pairs of quotes: " + line);
  FUZZ_CHECK(quotes[0] == 0 && line.compare(1, quotes[1] - 1, program) == 0 &&
                 quotes[1] == program.size() + 1,
             "program path is not alone in the first pair: " + line);
  FUZZ_CHECK(
      quotes[3] == line.size() - 1 &&
          line.compare(quotes[2] + 1, quotes[3] - quotes[2] - 1, archive) == 0,
      "archive path is not alone in the last pair: " + line);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  fuzz::InputReader input(data, size);
  const std::uint8_t setup = input.Byte();
  const platform::AnsiString rest = input.Rest();

  if ((setup & 1) == 0) {
    const std::size_t nul = rest.find('\0');
    const platform::AnsiString home = rest.substr(0, nul);
    platform::AnsiString working_directory = nul == platform::AnsiString::npos
                                                 ? platform::AnsiString()
                                                 : rest.substr(nul + 1);
    working_directory.erase(
        std::remove(working_directory.begin(), working_directory.end(), '\0'),
        working_directory.end());
    CheckCommandLine(home, working_directory);
    return 0;
  }

  // Wide texts as Windows hands them over. With WC_NO_BEST_FIT_CHARS no
  // look-alike (U+FF02, U+201C, ...) becomes a '"' on the way to ANSI, so
  // the composed line keeps its full shape.
  platform::UnicodeString home;
  platform::UnicodeString working_directory;
  bool in_home = true;
  for (char16_t c : Utf16(rest)) {
    if (c == u'\0' && in_home) {
      in_home = false;
    } else if (c != u'\0' && c != u'"') {
      (in_home ? home : working_directory).push_back(c);
    }
  }
  platform::FakePlatform fake;
  fake.code_page = (setup & 2) != 0 ? CP_UTF8 : 1252;
  const platform::AnsiString ansi_home = Ansi(fake, home);
  const platform::AnsiString ansi_directory = Ansi(fake, working_directory);
  FUZZ_CHECK(ansi_home.find('"') == platform::AnsiString::npos &&
                 ansi_directory.find('"') == platform::AnsiString::npos,
             "the conversion to ANSI made a quote");
  CheckCommandLine(ansi_home, ansi_directory);
  return 0;
}
