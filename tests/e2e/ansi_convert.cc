// Shows what the ANSI code page makes of some text, with and without
// best-fit mapping, for the end-to-end tests of folder names the code page
// cannot hold: the control that Wine's conversion really does turn
// look-alike characters into the ASCII ones they resemble.
//   ansi_convert.exe REPORT HEX [HEX...]
// HEX is UTF-16LE text as hex digits, no terminating NUL (as run_e2e.py's
// utf16_hex writes it). For each one, a line in REPORT:
//   text=<HEX> acp=<GetACP> best_fit=<bytes as hex> best_fit_default=<0|1>
//     no_best_fit=<bytes as hex> no_best_fit_default=<0|1>
// best_fit comes from WideCharToMultiByte(CP_ACP, 0, ...), no_best_fit from
// the same call with WC_NO_BEST_FIT_CHARS; *_default says whether the code
// page's default character was used.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

bool Units(const std::wstring& hex, std::wstring* text) {
  if (hex.size() % 4 != 0) return false;
  for (std::size_t i = 0; i < hex.size(); i += 4) {
    const unsigned long low = std::stoul(hex.substr(i, 2), nullptr, 16);
    const unsigned long high = std::stoul(hex.substr(i + 2, 2), nullptr, 16);
    text->push_back(static_cast<wchar_t>(low | (high << 8)));
  }
  return true;
}

// Converts |text|; false if the call itself fails.
bool Convert(const std::wstring& text, DWORD flags, std::string* hex,
             bool* used_default) {
  char bytes[256];
  BOOL used = FALSE;
  const int length = WideCharToMultiByte(
      CP_ACP, flags, text.data(), static_cast<int>(text.size()), bytes,
      sizeof(bytes), nullptr, &used);
  if (length <= 0) return false;
  for (int i = 0; i < length; ++i) {
    char digits[3];
    std::snprintf(digits, sizeof(digits), "%02x",
                  static_cast<unsigned char>(bytes[i]));
    *hex += digits;
  }
  *used_default = used != FALSE;
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fputs("usage: ansi_convert REPORT HEX [HEX...]\n", stderr);
    return 2;
  }
  FILE* report = _wfopen(argv[1], L"wb");
  if (!report) {
    std::fwprintf(stderr, L"ansi_convert: cannot write %ls\n", argv[1]);
    return 3;
  }
  int status = 0;
  for (int i = 2; i < argc; ++i) {
    std::wstring text;
    std::string best_fit, no_best_fit;
    bool best_fit_default = false, no_best_fit_default = false;
    if (!Units(argv[i], &text) || text.empty() ||
        !Convert(text, 0, &best_fit, &best_fit_default) ||
        !Convert(text, WC_NO_BEST_FIT_CHARS, &no_best_fit,
                 &no_best_fit_default)) {
      std::fwprintf(stderr, L"ansi_convert: cannot convert %ls: error %lu\n",
                    argv[i], static_cast<unsigned long>(GetLastError()));
      status = 1;
      continue;
    }
    std::fprintf(report,
                 "text=%ls acp=%u best_fit=%s best_fit_default=%d "
                 "no_best_fit=%s no_best_fit_default=%d\n",
                 argv[i], GetACP(), best_fit.c_str(), best_fit_default ? 1 : 0,
                 no_best_fit.c_str(), no_best_fit_default ? 1 : 0);
  }
  std::fclose(report);
  return status;
}
