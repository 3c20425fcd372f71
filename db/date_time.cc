#include "veriprog/date_time.h"

#include <charconv>
#include <cstdio>

namespace veriprog::db {
namespace {

bool ReadNumber(std::string_view text, std::size_t pos, std::size_t width, int& out) {
  if (pos + width > text.size()) return false;
  for (std::size_t i = pos; i < pos + width; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  std::from_chars(text.data() + pos, text.data() + pos + width, out);
  return true;
}

}  // namespace

int DateTime::DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

std::optional<DateTime> DateTime::FromParts(int year, int month, int day, int hour, int minute,
                                            int second, int microsecond) {
  if (year < 1 || year > 9999 || day < 1 || day > DaysInMonth(year, month)) return std::nullopt;
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
      microsecond < 0 || microsecond > 999999) {
    return std::nullopt;
  }
  return DateTime{year, month, day, hour, minute, second, microsecond};
}

std::optional<DateTime> DateTime::Parse(std::string_view text) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, us = 0;
  if (text.size() == 8) {
    if (!ReadNumber(text, 0, 4, y) || !ReadNumber(text, 4, 2, mo) || !ReadNumber(text, 6, 2, d)) {
      return std::nullopt;
    }
    return FromParts(y, mo, d);
  }
  if (text.size() < 10 || text[4] != '-' || text[7] != '-' || !ReadNumber(text, 0, 4, y) ||
      !ReadNumber(text, 5, 2, mo) || !ReadNumber(text, 8, 2, d)) {
    return std::nullopt;
  }
  if (text.size() > 10) {
    if ((text[10] != ' ' && text[10] != 'T') || text.size() < 19 || text[13] != ':' ||
        text[16] != ':' || !ReadNumber(text, 11, 2, h) || !ReadNumber(text, 14, 2, mi) ||
        !ReadNumber(text, 17, 2, s)) {
      return std::nullopt;
    }
    if (text.size() > 19) {
      const std::size_t digits = text.size() - 20;
      if (text[19] != '.' || digits == 0 || digits > 6 || !ReadNumber(text, 20, digits, us)) {
        return std::nullopt;
      }
      for (std::size_t i = digits; i < 6; ++i)
        us *= 10;
    }
  }
  return FromParts(y, mo, d, h, mi, s, us);
}

std::int64_t DateTime::DayNumber() const {
  // Civil-to-days over the proleptic Gregorian calendar, eras of 400 years.
  const std::int64_t y = year - (month <= 2 ? 1 : 0);
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

DateTime DateTime::FromDayNumber(std::int64_t z) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int m = static_cast<int>(mp + (mp < 10 ? 3 : -9));
  const int y = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
  return DateTime{y, m, d, 0, 0, 0, 0};
}

std::string DateTime::ToString() const {
  char buf[40];
  if (!has_time()) {
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", year, month, day);
  } else if (microsecond == 0) {
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour, minute,
                  second);
  } else {
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%06d", year, month, day, hour,
                  minute, second, microsecond);
  }
  return buf;
}

std::string DateTime::ToCompactDate() const {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", year, month, day);
  return buf;
}

}  // namespace veriprog::db
