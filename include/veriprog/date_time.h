// DateTime: a calendar date with an optional time of day, as the ledger's date columns hold it
// (registration dates, fiscal-year bounds). Plain value; no time zone.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace veriprog::db {

struct DateTime {
  int year = 1900;
  int month = 1;  // 1..12
  int day = 1;    // 1..31, valid for the month
  int hour = 0;
  int minute = 0;
  int second = 0;
  int microsecond = 0;

  // nullopt unless the date exists in the proleptic Gregorian calendar and the time is valid.
  static std::optional<DateTime> FromParts(int year, int month, int day, int hour = 0,
                                           int minute = 0, int second = 0, int microsecond = 0);
  // "YYYY-MM-DD", "YYYY-MM-DD HH:MM:SS[.ffffff]" (also with 'T') or the unseparated "YYYYMMDD".
  static std::optional<DateTime> Parse(std::string_view text);

  // Days since 1970-01-01 (negative before), and the date that many days from it.
  std::int64_t DayNumber() const;
  static DateTime FromDayNumber(std::int64_t days);

  bool has_time() const { return hour != 0 || minute != 0 || second != 0 || microsecond != 0; }
  static int DaysInMonth(int year, int month);

  // "YYYY-MM-DD" for a plain date, "YYYY-MM-DD HH:MM:SS[.ffffff]" when there is a time.
  std::string ToString() const;
  // The unseparated "YYYYMMDD" form that SQL Server reads the same under any language.
  std::string ToCompactDate() const;

  friend auto operator<=>(const DateTime&, const DateTime&) = default;
};

}  // namespace veriprog::db
