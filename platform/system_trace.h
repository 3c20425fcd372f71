// Where trace lines go when no host gave a sink of its own: syslog at debug level on Linux, the
// debugger's output channel (OutputDebugStringW, as UTF-16) on Windows.
#pragma once

#include <string_view>

namespace veriprog::platform {

void WriteSystemTrace(std::string_view line) noexcept;

}  // namespace veriprog::platform
