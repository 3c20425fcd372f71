#include "veriprog/trace.h"

#include <cstdio>
#include <mutex>

#include "platform/identifiers.h"
#include "platform/system_trace.h"

namespace veriprog {
namespace {

class SystemSink final : public TraceSink {
 public:
  void Write(std::string_view line) override { platform::WriteSystemTrace(line); }
};

std::mutex& SinkMutex() {
  static std::mutex m;
  return m;
}

std::shared_ptr<TraceSink>& Sink() {
  static std::shared_ptr<TraceSink> sink = std::make_shared<SystemSink>();
  return sink;
}

}  // namespace

std::shared_ptr<TraceSink> SetTraceSink(std::shared_ptr<TraceSink> sink) {
  std::lock_guard lock(SinkMutex());
  auto previous = Sink();
  Sink() = sink ? std::move(sink) : std::make_shared<SystemSink>();
  return previous;
}

void WriteTrace(std::string_view line) {
  std::shared_ptr<TraceSink> sink;
  {
    std::lock_guard lock(SinkMutex());
    sink = Sink();
  }
  sink->Write(line);
}

std::string FormatGuid(const Guid& g) {
  char buf[33];
  std::snprintf(buf, sizeof buf, "%08X%04X%04X%02X%02X%02X%02X%02X%02X%02X%02X",
                static_cast<unsigned>(g.data1), static_cast<unsigned>(g.data2),
                static_cast<unsigned>(g.data3), g.data4[0], g.data4[1], g.data4[2], g.data4[3],
                g.data4[4], g.data4[5], g.data4[6], g.data4[7]);
  return buf;
}

std::string GeneraGUID() {
  const auto raw = platform::NewUuid();
  Guid g;
  g.data1 = (std::uint32_t{raw[0]} << 24) | (std::uint32_t{raw[1]} << 16) |
            (std::uint32_t{raw[2]} << 8) | raw[3];
  g.data2 = static_cast<std::uint16_t>((raw[4] << 8) | raw[5]);
  g.data3 = static_cast<std::uint16_t>((raw[6] << 8) | raw[7]);
  for (int i = 0; i < 8; ++i)
    g.data4[i] = raw[static_cast<std::size_t>(8 + i)];
  return FormatGuid(g);
}

const std::string& InstanceId::Get() {
  if (id_.empty()) id_ = GeneraGUID();
  return id_;
}

void TraceObject(InstanceId& id, bool creation, std::string_view class_name) noexcept {
  try {
    std::string line = "QXGE:|" + id.Get() + "|" + (creation ? "INI" : "TER") + "|NEXA_VERIPROG|";
    line += class_name;
    WriteTrace(line);
  } catch (...) {
    // A trace line never stops the creation or destruction of an object.
  }
}

}  // namespace veriprog
