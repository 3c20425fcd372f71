#include "platform/console.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
// CommandLineToArgvW
#include <shellapi.h>
#else
#include <unistd.h>
#endif

namespace veriprog::platform {
namespace {

#ifdef _WIN32
bool vt_stdout = false, vt_stderr = false;

bool EnableVt(DWORD which) {
  HANDLE h = GetStdHandle(which);
  DWORD mode = 0;
  if (h == INVALID_HANDLE_VALUE || !GetConsoleMode(h, &mode)) return false;
  return SetConsoleMode(h, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

std::string Utf8(const wchar_t* text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return {};
  std::string out(static_cast<std::size_t>(n - 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
  return out;
}
#endif

}  // namespace

void PrepareConsole() {
#ifdef _WIN32
  SetConsoleOutputCP(CP_UTF8);
  vt_stdout = EnableVt(STD_OUTPUT_HANDLE);
  vt_stderr = EnableVt(STD_ERROR_HANDLE);
#endif
}

bool IsTerminal(std::FILE* stream) {
#ifdef _WIN32
  if (stream == stdout) return vt_stdout;
  if (stream == stderr) return vt_stderr;
  return false;
#else
  return isatty(fileno(stream)) != 0;
#endif
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
#ifdef _WIN32
  (void)argc;
  (void)argv;
  int n = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &n);
  std::vector<std::string> args;
  for (int i = 0; i < n; ++i)
    args.push_back(Utf8(wide[i]));
  LocalFree(wide);
  return args;
#else
  return std::vector<std::string>(argv, argv + argc);
#endif
}

}  // namespace veriprog::platform
