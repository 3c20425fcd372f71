#include "platform/identifiers.h"

#ifdef _WIN32
#include <rpc.h>
#include <windows.h>
#else
#include <uuid/uuid.h>
#endif

namespace veriprog::platform {

std::array<std::uint8_t, 16> NewUuid() {
  std::array<std::uint8_t, 16> bytes{};
#ifdef _WIN32
  UUID id;
  UuidCreate(&id);
  for (int i = 0; i < 4; ++i)
    bytes[i] = static_cast<std::uint8_t>(id.Data1 >> (24 - 8 * i));
  bytes[4] = static_cast<std::uint8_t>(id.Data2 >> 8);
  bytes[5] = static_cast<std::uint8_t>(id.Data2);
  bytes[6] = static_cast<std::uint8_t>(id.Data3 >> 8);
  bytes[7] = static_cast<std::uint8_t>(id.Data3);
  for (int i = 0; i < 8; ++i)
    bytes[8 + i] = id.Data4[i];
#else
  uuid_t raw;
  uuid_generate(raw);
  for (int i = 0; i < 16; ++i)
    bytes[i] = raw[i];
#endif
  return bytes;
}

}  // namespace veriprog::platform
