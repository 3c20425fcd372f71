// The object trace line written when a public object is created and destroyed, and the
// instance identifier it carries. Lines go to a replaceable sink; the default writes to syslog
// at debug level.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace veriprog {

class TraceSink {
 public:
  virtual ~TraceSink() = default;
  virtual void Write(std::string_view line) = 0;
};

// Replaces the sink for the whole process; nullptr restores syslog. Returns the previous one.
std::shared_ptr<TraceSink> SetTraceSink(std::shared_ptr<TraceSink> sink);
void WriteTrace(std::string_view line);

// A GUID in its fields, as the operating system hands it over.
struct Guid {
  std::uint32_t data1 = 0;
  std::uint16_t data2 = 0;
  std::uint16_t data3 = 0;
  std::uint8_t data4[8] = {};
};

// 32 upper-case hexadecimal digits, fields in order, leading zeros kept:
// 0000A1B2-0C0D-00EF-0102-030405060708 gives 0000A1B20C0D00EF0102030405060708.
std::string FormatGuid(const Guid& guid);
// A new random GUID in that form (libuuid), or "" when none could be made.
std::string GeneraGUID();

// The identifier of one public object, made at its first trace line and kept.
class InstanceId {
 public:
  const std::string& Get();  // GetIDIstanza: made on first use; retried while empty

 private:
  std::string id_;
};

// "QXGE:|<id>|INI|NEXA_VERIPROG|<class>" at creation, "TER" at destruction.
void TraceObject(InstanceId& id, bool creation, std::string_view class_name) noexcept;

}  // namespace veriprog
