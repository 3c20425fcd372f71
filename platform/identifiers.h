// A new random identifier from the operating system: libuuid on Linux, UuidCreate on Windows.
#pragma once

#include <array>
#include <cstdint>

namespace veriprog::platform {

// Sixteen bytes in the order the standard writes them (time-low first, big-endian fields).
std::array<std::uint8_t, 16> NewUuid();

}  // namespace veriprog::platform
