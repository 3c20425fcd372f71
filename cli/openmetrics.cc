#include "cli/openmetrics.h"

#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <functional>

namespace veriprog::cli {
namespace {

// The length of the well-formed UTF-8 sequence at the start of `s`, 0 if there is none: no
// overlong forms, no surrogates, nothing past U+10FFFF.
std::size_t Utf8Sequence(std::string_view s) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char b0 = byte(0);
  if (b0 < 0x80) return 1;
  std::size_t n = 0;
  unsigned char low = 0x80, high = 0xBF;  // the allowed range of the second byte
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    n = 2;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    n = 3;
    if (b0 == 0xE0) low = 0xA0;
    if (b0 == 0xED) high = 0x9F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    n = 4;
    if (b0 == 0xF0) low = 0x90;
    if (b0 == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (s.size() < n || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < n; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return n;
}

std::string Number(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "+Inf" : "-Inf";
  std::array<char, 32> buffer{};
  const auto end = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value).ptr;
  return std::string(buffer.data(), end);
}

struct Family {
  const char* name;
  const char* unit;  // empty where the value has none
  const char* help;
  // The unit's value, none where the unit has no sample of this family.
  std::function<std::optional<std::string>(const MetricsUnit&)> value;
};

}  // namespace

bool WentThrough(int exit_code) {
  return exit_code == 0 || exit_code == 1;
}

double UnixSeconds() {
  using namespace std::chrono;
  return duration<double>(system_clock::now().time_since_epoch()).count();
}

std::string MetricsLabelValue(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const std::size_t n = Utf8Sequence(text);
    if (n == 0) {
      out += "\xEF\xBF\xBD";
      text.remove_prefix(1);
      continue;
    }
    if (text[0] == '\\') {
      out += "\\\\";
    } else if (text[0] == '"') {
      out += "\\\"";
    } else if (text[0] == '\n') {
      out += "\\n";
    } else {
      out.append(text.substr(0, n));
    }
    text.remove_prefix(n);
  }
  return out;
}

void WriteOpenMetrics(std::ostream& out, std::string_view operation,
                      const std::vector<MetricsUnit>& units) {
  const Family families[] = {
      {"veriprog_flagged_totals", "", "Stored totals flagged as different from the journal",
       [](const MetricsUnit& u) {
         return u.flagged ? std::optional(std::to_string(*u.flagged)) : std::nullopt;
       }},
      {"veriprog_run_seconds", "seconds", "Time the operation took",
       [](const MetricsUnit& u) {
         return u.seconds ? std::optional(Number(*u.seconds)) : std::nullopt;
       }},
      {"veriprog_exit_code", "",
       "Exit code of the operation: 0 nothing differs, 1 flagged, 2 invalid parameters, 3 error, "
       "130 or 143 interrupted",
       [](const MetricsUnit& u) { return std::optional(std::to_string(u.exit_code)); }},
      {"veriprog_success", "", "1 when the operation went through (exit code 0 or 1), else 0",
       [](const MetricsUnit& u) {
         return std::optional(std::string(WentThrough(u.exit_code) ? "1" : "0"));
       }},
      {"veriprog_last_success_timestamp_seconds", "seconds",
       "Unix time of the last run of the operation that went through",
       [](const MetricsUnit& u) {
         return u.last_success ? std::optional(Number(*u.last_success)) : std::nullopt;
       }},
  };
  const std::string op = MetricsLabelValue(operation);
  for (const Family& f : families) {
    bool any = false;
    for (const MetricsUnit& u : units) {
      const std::optional<std::string> value = f.value(u);
      if (!value) continue;
      if (!any) {
        out << "# TYPE " << f.name << " gauge\n";
        if (*f.unit) out << "# UNIT " << f.name << ' ' << f.unit << '\n';
        out << "# HELP " << f.name << ' ' << f.help << '\n';
        any = true;
      }
      out << f.name << "{operation=\"" << op << "\",company=\"" << MetricsLabelValue(u.company)
          << "\",family=\"" << MetricsLabelValue(u.family) << "\",period=\""
          << MetricsLabelValue(u.period) << "\"} " << *value << '\n';
    }
  }
  out << "# EOF\n";
}

}  // namespace veriprog::cli
