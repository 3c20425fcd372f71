#include "platform/system_trace.h"

#ifdef _WIN32
#include <windows.h>

#include <string>
#else
#include <syslog.h>
#endif

namespace veriprog::platform {

void WriteSystemTrace(std::string_view line) noexcept {
#ifdef _WIN32
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0)
    MultiByteToWideChar(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), wide.data(), n);
  wide += L'\n';
  OutputDebugStringW(wide.c_str());
#else
  syslog(LOG_DEBUG, "%.*s", static_cast<int>(line.size()), line.data());
#endif
}

}  // namespace veriprog::platform
