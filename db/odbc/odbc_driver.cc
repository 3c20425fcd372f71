// The channel over a real ODBC driver: the only file that includes the ODBC headers. Text goes
// both ways as UTF-16 (the wide calls), so that accented descriptions arrive intact whatever
// the driver's own character set; numbers are read as text and dates as date structures, never
// through floating point.
#ifdef _WIN32
#include <windows.h>  // before the ODBC headers, which build on its types
#endif
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>

#include "db/odbc/connection_string.h"
#include "db/odbc/odbc_channel.h"
#include "db/text.h"
#include "veriprog/error.h"

namespace veriprog::db::odbc {
namespace {

// --- UTF-8 and UTF-16 -----------------------------------------------------------------------

std::u16string Utf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    char32_t cp = 0xFFFD;
    std::size_t length = 1;
    if (byte < 0x80) {
      cp = byte;
    } else if ((byte >> 5) == 0x6) {
      length = 2;
      cp = byte & 0x1F;
    } else if ((byte >> 4) == 0xE) {
      length = 3;
      cp = byte & 0x0F;
    } else if ((byte >> 3) == 0x1E) {
      length = 4;
      cp = byte & 0x07;
    }
    if (length > 1) {
      if (i + length > text.size()) {
        length = 1;
        cp = 0xFFFD;
      } else {
        for (std::size_t k = 1; k < length; ++k) {
          const auto next = static_cast<unsigned char>(text[i + k]);
          if ((next >> 6) != 0x2) {
            length = 1;
            cp = 0xFFFD;
            break;
          }
          cp = (cp << 6) | (next & 0x3F);
        }
      }
    } else if (byte >= 0x80) {
      cp = 0xFFFD;  // a stray continuation byte
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += length;
  }
  return out;
}

std::string Utf8(const SQLWCHAR* text, std::size_t length) {
  std::string out;
  out.reserve(length);
  for (std::size_t i = 0; i < length; ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < length && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp < 0xE000) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

SQLWCHAR* Wide(std::u16string& text) {
  return reinterpret_cast<SQLWCHAR*>(text.data());
}

// --- Handles and diagnostics ------------------------------------------------------------------

struct Diagnostic {
  std::string state;
  std::string message;
};

std::vector<Diagnostic> Diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
  std::vector<Diagnostic> out;
  if (handle == SQL_NULL_HANDLE) return out;
  for (SQLSMALLINT i = 1; i < 50; ++i) {
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    std::vector<SQLWCHAR> message(1024);
    SQLSMALLINT length = 0;
    SQLRETURN rc = SQLGetDiagRecW(type, handle, i, state, &native, message.data(),
                                  static_cast<SQLSMALLINT>(message.size()), &length);
    if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
      message.resize(static_cast<std::size_t>(length) + 1);
      rc = SQLGetDiagRecW(type, handle, i, state, &native, message.data(),
                          static_cast<SQLSMALLINT>(message.size()), &length);
    }
    if (!SQL_SUCCEEDED(rc)) break;
    const std::size_t used =
        std::min(static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)), message.size());
    // One line per message; the PostgreSQL driver adds a line of its own that says nothing.
    std::string text;
    std::string raw = Utf8(message.data(), used);
    std::size_t start = 0;
    while (start <= raw.size()) {
      const std::size_t end = std::min(raw.find('\n', start), raw.size());
      const std::string_view line = Trim(std::string_view(raw).substr(start, end - start));
      if (!line.empty() && line != "Error while executing the query") {
        if (!text.empty()) text += ' ';
        text += line;
      }
      start = end + 1;
    }
    if (!text.empty() && text.back() == ';') text.pop_back();
    out.push_back({Utf8(state, 5), std::move(text)});
  }
  return out;
}

// "message (SQLSTATE xxxxx); message (SQLSTATE yyyyy)", warnings left out when errors exist.
std::string Describe(const std::vector<Diagnostic>& diagnostics) {
  const bool errors = std::any_of(diagnostics.begin(), diagnostics.end(),
                                  [](const auto& d) { return d.state.rfind("01", 0) != 0; });
  std::string out;
  for (const auto& d : diagnostics) {
    if (errors && d.state.rfind("01", 0) == 0) continue;
    if (!out.empty()) out += "; ";
    out += d.message + " (SQLSTATE " + d.state + ")";
  }
  return out.empty() ? "the driver gave no reason" : out;
}

class Handle {
 public:
  Handle(SQLSMALLINT type, SQLHANDLE parent) : type_(type) {
    if (!SQL_SUCCEEDED(SQLAllocHandle(type, parent, &handle_))) {
      handle_ = SQL_NULL_HANDLE;
      throw DbError("ODBC: cannot allocate a handle (is the unixODBC driver manager installed?)");
    }
  }
  ~Handle() {
    if (handle_ != SQL_NULL_HANDLE) SQLFreeHandle(type_, handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

  SQLHANDLE get() const { return handle_; }
  // Throws DbError with the handle's diagnostics unless rc is a success.
  void Check(SQLRETURN rc, std::string_view what) const {
    if (SQL_SUCCEEDED(rc)) return;
    throw DbError(std::string(what) + ": " + Describe(Diagnostics(type_, handle_)));
  }

 private:
  SQLSMALLINT type_;
  SQLHANDLE handle_ = SQL_NULL_HANDLE;
};

SQLPOINTER AttributeValue(SQLULEN value) {
  return reinterpret_cast<SQLPOINTER>(static_cast<std::uintptr_t>(value));
}

// --- Parameters -------------------------------------------------------------------------------

// Buffers of the bound parameters; deques keep their addresses while the statement runs.
struct Bindings {
  std::deque<std::u16string> texts;
  std::deque<std::string> numbers;
  std::deque<SQL_TIMESTAMP_STRUCT> stamps;
  std::deque<SQLBIGINT> integers;
  std::deque<unsigned char> bits;
  std::deque<SQLLEN> lengths;
};

SQLSMALLINT SqlTypeOf(const FieldDef& field) {
  switch (field.type) {
    case FieldType::kChar:
      return SQL_WCHAR;
    case FieldType::kDecimal:
      return SQL_DECIMAL;
    case FieldType::kInteger:
      return SQL_BIGINT;
    case FieldType::kBoolean:
      return SQL_BIT;
    case FieldType::kDateTime:
      return SQL_TYPE_TIMESTAMP;
    default:
      return SQL_WVARCHAR;
  }
}

SQL_TIMESTAMP_STRUCT TimestampOf(const DateTime& t) {
  SQL_TIMESTAMP_STRUCT s = {};
  s.year = static_cast<SQLSMALLINT>(t.year);
  s.month = static_cast<SQLUSMALLINT>(t.month);
  s.day = static_cast<SQLUSMALLINT>(t.day);
  s.hour = static_cast<SQLUSMALLINT>(t.hour);
  s.minute = static_cast<SQLUSMALLINT>(t.minute);
  s.second = static_cast<SQLUSMALLINT>(t.second);
  // Milliseconds: what a SQL Server datetime column holds.
  s.fraction = static_cast<SQLUINTEGER>(t.microsecond / 1000) * 1000000U;
  return s;
}

void Bind(const Handle& stmt, SQLUSMALLINT number, const Parameter& p, Bindings& b) {
  SQLLEN& length = b.lengths.emplace_back(0);
  SQLRETURN rc = SQL_SUCCESS;
  const Variant& v = p.value;
  switch (v.kind()) {
    case Variant::Kind::kEmpty:
    case Variant::Kind::kNull: {
      length = SQL_NULL_DATA;
      const SQLSMALLINT type = SqlTypeOf(p.field);
      const SQLULEN size =
          type == SQL_DECIMAL          ? static_cast<SQLULEN>(std::max(p.field.precision, 1))
          : type == SQL_TYPE_TIMESTAMP ? 23
                                       : static_cast<SQLULEN>(std::max(p.field.size, 1));
      rc = SQLBindParameter(stmt.get(), number, SQL_PARAM_INPUT, SQL_C_WCHAR, type, size,
                            static_cast<SQLSMALLINT>(type == SQL_DECIMAL          ? p.field.scale
                                                     : type == SQL_TYPE_TIMESTAMP ? 3
                                                                                  : 0),
                            nullptr, 0, &length);
      break;
    }
    case Variant::Kind::kBoolean: {
      unsigned char& bit = b.bits.emplace_back(v.AsBoolean() ? 1 : 0);
      rc = SQLBindParameter(stmt.get(), number, SQL_PARAM_INPUT, SQL_C_BIT, SQL_BIT, 1, 0, &bit, 0,
                            &length);
      break;
    }
    case Variant::Kind::kInteger: {
      SQLBIGINT& n = b.integers.emplace_back(v.AsInteger());
      rc = SQLBindParameter(stmt.get(), number, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 19, 0,
                            &n, 0, &length);
      break;
    }
    case Variant::Kind::kDecimal: {
      const Decimal& d = v.AsDecimal();
      std::string& text = b.numbers.emplace_back(d.ToString());
      length = static_cast<SQLLEN>(text.size());
      // Room for every digit of the value, and at least the column's own precision.
      const int scale = std::min(d.scale(), Decimal::kMaxScale);
      const int precision =
          std::clamp(std::max({p.field.precision, d.integer_digits() + scale, scale, 1}), 1, 38);
      rc = SQLBindParameter(stmt.get(), number, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_DECIMAL,
                            static_cast<SQLULEN>(precision), static_cast<SQLSMALLINT>(scale),
                            text.data(), length, &length);
      break;
    }
    case Variant::Kind::kDateTime: {
      SQL_TIMESTAMP_STRUCT& s = b.stamps.emplace_back(TimestampOf(v.AsDateTime()));
      rc = SQLBindParameter(stmt.get(), number, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP,
                            SQL_TYPE_TIMESTAMP, 23, 3, &s, 0, &length);
      break;
    }
    case Variant::Kind::kString: {
      std::u16string& text = b.texts.emplace_back(Utf16(v.AsString()));
      length = static_cast<SQLLEN>(text.size() * sizeof(SQLWCHAR));
      rc = SQLBindParameter(stmt.get(), number, SQL_PARAM_INPUT, SQL_C_WCHAR, SqlTypeOf(p.field),
                            std::max<SQLULEN>(text.size(), 1), 0, Wide(text), length, &length);
      break;
    }
  }
  stmt.Check(rc, "cannot bind parameter " + std::to_string(number));
}

// One parameter's values for every set of an array of parameters: cells of one width, one C
// type for all, as the driver reads them column by column.
struct ParameterColumn {
  SQLSMALLINT c_type = SQL_C_WCHAR;
  SQLSMALLINT sql_type = SQL_WVARCHAR;
  SQLULEN size = 1;
  SQLSMALLINT digits = 0;
  SQLLEN width = sizeof(SQLWCHAR);  // bytes per cell
  std::vector<unsigned char> cells;
  std::vector<SQLLEN> lengths;

  ParameterColumn(SQLSMALLINT c, SQLSMALLINT sql, SQLULEN column_size, int decimal_digits,
                  std::size_t cell_width, std::size_t sets)
      : c_type(c),
        sql_type(sql),
        size(column_size),
        digits(static_cast<SQLSMALLINT>(decimal_digits)),
        width(static_cast<SQLLEN>(cell_width)),
        cells(sets * cell_width, 0),
        lengths(sets, SQL_NULL_DATA) {}

  // cell(i, value, bytes) writes set i's non-null value into its cell and returns its length.
  template <class Cell>
  void Fill(const std::vector<std::vector<Parameter>>& sets, std::size_t number, Cell&& cell) {
    for (std::size_t i = 0; i < sets.size(); ++i) {
      const Variant& v = sets[i][number].value;
      if (v.has_value()) lengths[i] = cell(i, v, &cells[i * static_cast<std::size_t>(width)]);
    }
  }
};

// The kind the non-null values of parameter `number` share across the sets; nullopt when they
// differ (such sets go one at a time) and kNull when every value is null.
std::optional<Variant::Kind> SharedKind(const std::vector<std::vector<Parameter>>& sets,
                                        std::size_t number) {
  std::optional<Variant::Kind> kind = Variant::Kind::kNull;
  for (const auto& set : sets) {
    const Variant& v = set[number].value;
    if (!v.has_value()) continue;
    if (*kind == Variant::Kind::kNull) {
      kind = v.kind();
    } else if (*kind != v.kind()) {
      return std::nullopt;
    }
  }
  return kind;
}

// Decimals as text, with room for every digit of every value at the largest scale among them.
ParameterColumn DecimalArray(const std::vector<std::vector<Parameter>>& sets, std::size_t number) {
  std::vector<std::string> texts(sets.size());
  int scale = 0, integer_digits = 0;
  std::size_t longest = 1;
  for (std::size_t i = 0; i < sets.size(); ++i) {
    const Variant& v = sets[i][number].value;
    if (!v.has_value()) continue;
    const Decimal& d = v.AsDecimal();
    texts[i] = d.ToString();
    longest = std::max(longest, texts[i].size());
    scale = std::max(scale, std::min(d.scale(), Decimal::kMaxScale));
    integer_digits = std::max(integer_digits, d.integer_digits());
  }
  const int precision = std::clamp(
      std::max({sets[0][number].field.precision, integer_digits + scale, scale, 1}), 1, 38);
  ParameterColumn col(SQL_C_CHAR, SQL_DECIMAL, static_cast<SQLULEN>(precision), scale, longest + 1,
                      sets.size());
  col.Fill(sets, number, [&](std::size_t i, const Variant&, unsigned char* cell) {
    std::memcpy(cell, texts[i].data(), texts[i].size());
    return static_cast<SQLLEN>(texts[i].size());
  });
  return col;
}

// Texts as UTF-16, in cells as wide as the longest.
ParameterColumn TextArray(const std::vector<std::vector<Parameter>>& sets, std::size_t number) {
  std::vector<std::u16string> texts(sets.size());
  std::size_t longest = 1;
  for (std::size_t i = 0; i < sets.size(); ++i) {
    const Variant& v = sets[i][number].value;
    if (!v.has_value()) continue;
    texts[i] = Utf16(v.AsString());
    longest = std::max(longest, texts[i].size());
  }
  ParameterColumn col(SQL_C_WCHAR, SqlTypeOf(sets[0][number].field), longest, 0,
                      (longest + 1) * sizeof(SQLWCHAR), sets.size());
  col.Fill(sets, number, [&](std::size_t i, const Variant&, unsigned char* cell) {
    std::memcpy(cell, texts[i].data(), texts[i].size() * sizeof(SQLWCHAR));
    return static_cast<SQLLEN>(texts[i].size() * sizeof(SQLWCHAR));
  });
  return col;
}

// The cells of parameter `number` for every set, converted as Bind converts a single value, so
// that an array writes what row-by-row statements would.
ParameterColumn ArrayOf(const std::vector<std::vector<Parameter>>& sets, std::size_t number,
                        Variant::Kind kind) {
  const std::size_t n = sets.size();
  switch (kind) {
    case Variant::Kind::kBoolean: {
      ParameterColumn col(SQL_C_BIT, SQL_BIT, 1, 0, 1, n);
      col.Fill(sets, number, [](std::size_t, const Variant& v, unsigned char* cell) {
        *cell = v.AsBoolean() ? 1 : 0;
        return SQLLEN{0};
      });
      return col;
    }
    case Variant::Kind::kInteger: {
      ParameterColumn col(SQL_C_SBIGINT, SQL_BIGINT, 19, 0, sizeof(SQLBIGINT), n);
      col.Fill(sets, number, [](std::size_t, const Variant& v, unsigned char* cell) {
        const SQLBIGINT value = v.AsInteger();
        std::memcpy(cell, &value, sizeof value);
        return SQLLEN{0};
      });
      return col;
    }
    case Variant::Kind::kDateTime: {
      ParameterColumn col(SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 23, 3,
                          sizeof(SQL_TIMESTAMP_STRUCT), n);
      col.Fill(sets, number, [](std::size_t, const Variant& v, unsigned char* cell) {
        const SQL_TIMESTAMP_STRUCT stamp = TimestampOf(v.AsDateTime());
        std::memcpy(cell, &stamp, sizeof stamp);
        return SQLLEN{0};
      });
      return col;
    }
    case Variant::Kind::kDecimal:
      return DecimalArray(sets, number);
    case Variant::Kind::kString:
      return TextArray(sets, number);
    case Variant::Kind::kEmpty:
    case Variant::Kind::kNull:
      break;
  }
  // Every value null: typed as the field, as a single null parameter is.
  const FieldDef& field = sets[0][number].field;
  const SQLSMALLINT type = SqlTypeOf(field);
  return ParameterColumn(SQL_C_WCHAR, type,
                         type == SQL_DECIMAL ? static_cast<SQLULEN>(std::max(field.precision, 1))
                         : type == SQL_TYPE_TIMESTAMP
                             ? 23
                             : static_cast<SQLULEN>(std::max(field.size, 1)),
                         type == SQL_DECIMAL          ? field.scale
                         : type == SQL_TYPE_TIMESTAMP ? 3
                                                      : 0,
                         sizeof(SQLWCHAR), n);
}

// --- Results ----------------------------------------------------------------------------------

bool IsDateType(SQLSMALLINT type) {
  return type == SQL_TYPE_DATE || type == SQL_TYPE_TIMESTAMP || type == SQL_DATE ||
         type == SQL_TIMESTAMP;
}

bool IsNumberType(SQLSMALLINT type) {
  switch (type) {
    case SQL_DECIMAL:
    case SQL_NUMERIC:
    case SQL_INTEGER:
    case SQL_SMALLINT:
    case SQL_TINYINT:
    case SQL_BIGINT:
    case SQL_BIT:
    case SQL_FLOAT:
    case SQL_REAL:
    case SQL_DOUBLE:
      return true;
    default:
      return false;
  }
}

std::string TextAttribute(const Handle& stmt, SQLUSMALLINT column, SQLUSMALLINT field) {
  SQLWCHAR buffer[256] = {};
  SQLSMALLINT bytes = 0;
  if (!SQL_SUCCEEDED(
          SQLColAttributeW(stmt.get(), column, field, buffer, sizeof buffer, &bytes, nullptr))) {
    return "";
  }
  const std::size_t units = std::min<std::size_t>(
      static_cast<std::size_t>(std::max<SQLSMALLINT>(bytes, 0)) / sizeof(SQLWCHAR), 255);
  return Utf8(buffer, units);
}

Column DescribeColumn(const Handle& stmt, SQLUSMALLINT number) {
  SQLWCHAR name[256] = {};
  SQLSMALLINT name_length = 0, type = 0, digits = 0, nullable = 0;
  SQLULEN size = 0;
  stmt.Check(SQLDescribeColW(stmt.get(), number, name, 256, &name_length, &type, &size, &digits,
                             &nullable),
             "cannot describe a result column");
  Column c;
  c.name = Utf8(name, std::min<std::size_t>(static_cast<std::size_t>(name_length), 255));
  c.sql_type = type;
  c.size = static_cast<std::int64_t>(size);
  c.digits = digits;
  c.nullable = nullable != SQL_NO_NULLS;
  SQLLEN auto_unique = SQL_FALSE;
  if (SQL_SUCCEEDED(SQLColAttributeW(stmt.get(), number, SQL_DESC_AUTO_UNIQUE_VALUE, nullptr, 0,
                                     nullptr, &auto_unique))) {
    c.auto_unique = auto_unique == SQL_TRUE;
  }
  c.base_table = TextAttribute(stmt, number, SQL_DESC_BASE_TABLE_NAME);
  c.base_column = TextAttribute(stmt, number, SQL_DESC_BASE_COLUMN_NAME);
  c.base_schema = TextAttribute(stmt, number, SQL_DESC_SCHEMA_NAME);
  return c;
}

// YYYY-MM-DD, with the time only when it is not midnight: most ledger dates are days, and a
// day's text is short enough to need no allocation.
std::string DateText(const SQL_TIMESTAMP_STRUCT& s) {
  const bool midnight = s.hour == 0 && s.minute == 0 && s.second == 0 && s.fraction == 0;
  if (midnight && s.year >= 0 && s.year <= 9999 && s.month <= 99 && s.day <= 99) {
    std::string text = "0000-00-00";
    auto put = [&text](std::size_t at, unsigned value, int digits) {
      for (int i = digits - 1; i >= 0; --i, value /= 10)
        text[at + static_cast<std::size_t>(i)] = static_cast<char>('0' + value % 10);
    };
    put(0, static_cast<unsigned>(s.year), 4);
    put(5, s.month, 2);
    put(8, s.day, 2);
    return text;
  }
  char text[80];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u %02u:%02u:%02u.%06u", s.year, s.month, s.day,
                s.hour, s.minute, s.second, static_cast<unsigned>(s.fraction / 1000));
  return text;
}

std::optional<std::string> ReadCell(const Handle& stmt, SQLUSMALLINT number, SQLSMALLINT type) {
  SQLLEN indicator = 0;
  if (IsDateType(type)) {
    SQL_TIMESTAMP_STRUCT s = {};
    stmt.Check(SQLGetData(stmt.get(), number, SQL_C_TYPE_TIMESTAMP, &s, sizeof s, &indicator),
               "cannot read a date");
    if (indicator == SQL_NULL_DATA) return std::nullopt;
    return DateText(s);
  }
  if (IsNumberType(type)) {
    std::string out;
    char buffer[128];
    for (;;) {
      const SQLRETURN rc =
          SQLGetData(stmt.get(), number, SQL_C_CHAR, buffer, sizeof buffer, &indicator);
      if (rc == SQL_NO_DATA) break;
      stmt.Check(rc, "cannot read a number");
      if (indicator == SQL_NULL_DATA) return std::nullopt;
      out += buffer;
      if (rc == SQL_SUCCESS) break;
    }
    return out;
  }
  std::u16string out;
  SQLWCHAR buffer[1024];
  constexpr SQLLEN kRoom = sizeof buffer - sizeof(SQLWCHAR);  // the driver ends with a zero
  for (;;) {
    const SQLRETURN rc =
        SQLGetData(stmt.get(), number, SQL_C_WCHAR, buffer, sizeof buffer, &indicator);
    if (rc == SQL_NO_DATA) break;
    stmt.Check(rc, "cannot read a text");
    if (indicator == SQL_NULL_DATA) return std::nullopt;
    const SQLLEN bytes = (indicator == SQL_NO_TOTAL || indicator > kRoom) ? kRoom : indicator;
    out.append(reinterpret_cast<const char16_t*>(buffer),
               static_cast<std::size_t>(bytes) / sizeof(SQLWCHAR));
    if (rc == SQL_SUCCESS) break;
  }
  return Utf8(reinterpret_cast<const SQLWCHAR*>(out.data()), out.size());
}

// --- Results in blocks ----------------------------------------------------------------------

// A block of rows is fetched into bound buffers, one cell per row and column, in one call. Texts
// come as UTF-16 in cells sized from the column's described length; a value longer than its cell
// is read whole on its own, never cut.
constexpr std::size_t kBlockBytes = 4 << 20;  // the buffers of one block
constexpr SQLULEN kMaxBlockRows = 1000;
constexpr SQLLEN kNumberCell = 64;                // 38 digits, sign, point; floats with exponents
constexpr std::int64_t kLongestBoundText = 1024;  // characters: longer texts are read whole

struct BoundColumn {
  enum class Kind { kDate, kNumber, kText } kind = Kind::kText;
  SQLLEN width = 0;             // bytes per cell, even: a text cell is whole UTF-16 units
  std::vector<SQLWCHAR> cells;  // of every kind, so that texts are read where they lie
  std::vector<SQLLEN> indicators;

  const unsigned char* Cell(SQLULEN row) const {
    return reinterpret_cast<const unsigned char*>(cells.data()) +
           row * static_cast<std::size_t>(width);
  }
};

BoundColumn::Kind KindOf(const Column& c) {
  const auto type = static_cast<SQLSMALLINT>(c.sql_type);
  if (IsDateType(type)) return BoundColumn::Kind::kDate;
  if (IsNumberType(type)) return BoundColumn::Kind::kNumber;
  return BoundColumn::Kind::kText;
}

// Whether every value of the column fits its cell, as the driver describes the column.
bool FitsItsCell(const Column& c) {
  return KindOf(c) != BoundColumn::Kind::kText || (c.size > 0 && c.size <= kLongestBoundText);
}

SQLLEN CellWidth(const Column& c) {
  switch (KindOf(c)) {
    case BoundColumn::Kind::kDate:
      return sizeof(SQL_TIMESTAMP_STRUCT);
    case BoundColumn::Kind::kNumber:
      return kNumberCell;
    case BoundColumn::Kind::kText:
      break;
  }
  const std::int64_t characters = FitsItsCell(c) ? c.size : kLongestBoundText;
  return static_cast<SQLLEN>((characters + 1) * static_cast<std::int64_t>(sizeof(SQLWCHAR)));
}

// Binds every column of the result to buffers of `rows` cells.
std::vector<BoundColumn> BindColumns(const Handle& stmt, const std::vector<Column>& columns,
                                     SQLULEN rows) {
  std::vector<BoundColumn> bound(columns.size());
  for (std::size_t c = 0; c < columns.size(); ++c) {
    BoundColumn& b = bound[c];
    b.kind = KindOf(columns[c]);
    b.width = CellWidth(columns[c]);
    b.cells.assign(rows * static_cast<std::size_t>(b.width) / sizeof(SQLWCHAR), 0);
    b.indicators.assign(rows, 0);
    const SQLSMALLINT c_type = b.kind == BoundColumn::Kind::kDate     ? SQL_C_TYPE_TIMESTAMP
                               : b.kind == BoundColumn::Kind::kNumber ? SQL_C_CHAR
                                                                      : SQL_C_WCHAR;
    stmt.Check(SQLBindCol(stmt.get(), static_cast<SQLUSMALLINT>(c + 1), c_type, b.cells.data(),
                          b.width, b.indicators.data()),
               "cannot bind a result column");
  }
  return bound;
}

// The cell of row `row` of the block; nullopt when it is null, or when the value is longer than
// its cell (`*cut` set: the caller reads it whole).
std::optional<std::string> CellText(const BoundColumn& b, SQLULEN row, bool* cut) {
  const SQLLEN indicator = b.indicators[row];
  if (indicator == SQL_NULL_DATA) return std::nullopt;
  const unsigned char* cell = b.Cell(row);
  switch (b.kind) {
    case BoundColumn::Kind::kDate: {
      SQL_TIMESTAMP_STRUCT s;
      std::memcpy(&s, cell, sizeof s);
      return DateText(s);
    }
    case BoundColumn::Kind::kNumber:
      if (indicator == SQL_NO_TOTAL || indicator >= b.width) break;
      return std::string(reinterpret_cast<const char*>(cell), static_cast<std::size_t>(indicator));
    case BoundColumn::Kind::kText: {
      if (indicator == SQL_NO_TOTAL || indicator > b.width - SQLLEN{sizeof(SQLWCHAR)}) break;
      return Utf8(reinterpret_cast<const SQLWCHAR*>(cell),
                  static_cast<std::size_t>(indicator) / sizeof(SQLWCHAR));
    }
  }
  *cut = true;
  return std::nullopt;
}

// --- The channel ------------------------------------------------------------------------------

class DriverChannel final : public Channel {
 public:
  explicit DriverChannel(std::string_view connection_string);
  ~DriverChannel() override;

  std::string dbms_name() const override { return dbms_; }
  std::string driver() const override;
  std::vector<Result> Run(std::string_view sql, const std::vector<Parameter>& params) override;
  std::vector<Result> RunArray(std::string_view sql,
                               const std::vector<std::vector<Parameter>>& sets) override;
  void SetAutoCommit(bool on) override;
  void EndTransaction(bool commit) override;
  std::vector<std::string> PrimaryKey(const std::string& schema, const std::string& table) override;
  void Cancel() noexcept override;
  void SetQueryTimeout(int seconds) override { query_timeout_ = seconds; }

 private:
  // Every statement of the channel gets the query timeout asked, if any.
  void LimitTime(const Handle& stmt) const;
  [[noreturn]] void ConnectFailed(const Attributes& attributes);
  // Runs the statement with its parameters bound and reads every result.
  // alike: the results are those of one statement run for an array of parameters, whose row
  // sets all have the columns of the first.
  std::vector<Result> Execute(const Handle& stmt, std::string_view sql, bool alike = false);
  // The result the statement stands on: a row set, read whole, or the count of rows touched.
  // described: the row set's columns when already known.
  Result ReadResult(const Handle& stmt, const std::vector<Column>* described);
  Result Fetch(const Handle& stmt, SQLSMALLINT columns, const std::vector<Column>* described);
  void FetchInBlocks(const Handle& stmt, Result& r);
  void FetchRowByRow(const Handle& stmt, Result& r);
  // A value longer than its cell in row `row` of the block, read whole from the driver.
  std::optional<std::string> ReadWhole(const Handle& stmt, const Column& column, SQLULEN row,
                                       std::size_t number);

  Handle env_{SQL_HANDLE_ENV, SQL_NULL_HANDLE};
  std::unique_ptr<Handle> dbc_;
  bool connected_ = false;
  bool autocommit_ = true;
  std::string dbms_;
  // The driver reads a long value whole from a row of a fetched block (SQLSetPos, SQLGetData).
  bool reads_within_blocks_ = false;
  // The driver runs an array of parameters as one execution with a result (row set or count)
  // per set; otherwise the sets go one at a time.
  bool batches_arrays_ = false;
  // The statement under way, for Cancel; the mutex keeps it from being freed while cancelled.
  std::mutex running_mutex_;
  SQLHSTMT running_ = SQL_NULL_HSTMT;
  int query_timeout_ = 0;  // seconds; 0: none
};

std::string DriverChannel::driver() const {
  auto info = [&](SQLUSMALLINT what) {
    SQLWCHAR text[256] = {};
    SQLSMALLINT bytes = 0;
    if (!SQL_SUCCEEDED(SQLGetInfoW(dbc_->get(), what, text, sizeof text, &bytes)))
      return std::string();
    return Utf8(text,
                std::min<std::size_t>(static_cast<std::size_t>(bytes) / sizeof(SQLWCHAR), 255));
  };
  return info(SQL_DRIVER_NAME) + " " + info(SQL_DRIVER_VER);
}

DriverChannel::DriverChannel(std::string_view connection_string) {
  const Attributes attributes = ParseConnectionString(connection_string);
  env_.Check(SQLSetEnvAttr(env_.get(), SQL_ATTR_ODBC_VERSION, AttributeValue(SQL_OV_ODBC3), 0),
             "cannot set up ODBC");
  dbc_ = std::make_unique<Handle>(SQL_HANDLE_DBC, env_.get());
  std::u16string text = Utf16(connection_string);
  const SQLRETURN rc =
      SQLDriverConnectW(dbc_->get(), nullptr, Wide(text), static_cast<SQLSMALLINT>(text.size()),
                        nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
  if (!SQL_SUCCEEDED(rc)) ConnectFailed(attributes);
  connected_ = true;
  SQLWCHAR name[256] = {};
  SQLSMALLINT bytes = 0;
  dbc_->Check(SQLGetInfoW(dbc_->get(), SQL_DBMS_NAME, name, sizeof name, &bytes),
              "cannot ask the server its name");
  dbms_ =
      Utf8(name, std::min<std::size_t>(static_cast<std::size_t>(bytes) / sizeof(SQLWCHAR), 255));
  SQLUINTEGER extensions = 0;
  if (SQL_SUCCEEDED(SQLGetInfoW(dbc_->get(), SQL_GETDATA_EXTENSIONS, &extensions, sizeof extensions,
                                nullptr))) {
    const SQLUINTEGER needed = SQL_GD_BLOCK | SQL_GD_BOUND | SQL_GD_ANY_COLUMN | SQL_GD_ANY_ORDER;
    reads_within_blocks_ = (extensions & needed) == needed;
  }
  SQLUINTEGER selects = 0, counts = 0;
  batches_arrays_ = SQL_SUCCEEDED(SQLGetInfoW(dbc_->get(), SQL_PARAM_ARRAY_SELECTS, &selects,
                                              sizeof selects, nullptr)) &&
                    SQL_SUCCEEDED(SQLGetInfoW(dbc_->get(), SQL_PARAM_ARRAY_ROW_COUNTS, &counts,
                                              sizeof counts, nullptr)) &&
                    selects == SQL_PAS_BATCH && counts == SQL_PARC_BATCH;
  // Transactions of this connection read only committed rows, as the component expects.
  dbc_->Check(SQLSetConnectAttrW(dbc_->get(), SQL_ATTR_TXN_ISOLATION,
                                 AttributeValue(SQL_TXN_READ_COMMITTED), SQL_IS_UINTEGER),
              "cannot set the read-committed isolation level");
}

void DriverChannel::ConnectFailed(const Attributes& attributes) {
  const auto diagnostics = Diagnostics(SQL_HANDLE_DBC, dbc_->get());
  const std::string reason = Describe(diagnostics);
  auto has_state = [&](std::string_view prefix) {
    return std::any_of(diagnostics.begin(), diagnostics.end(),
                       [&](const Diagnostic& d) { return d.state.rfind(prefix, 0) == 0; });
  };
  const bool cannot_load = reason.find("Can't open lib") != std::string::npos ||
                           has_state("IM003") || has_state("IM004");
  const auto driver = Find(attributes, "Driver");
  const auto dsn = Find(attributes, "DSN");
  if (driver && (cannot_load || has_state("IM002"))) {
    throw DbError("cannot connect through ODBC: the driver '" + *driver +
                  "' is not installed or cannot be loaded (" + reason +
                  "). Install it (Debian: tdsodbc for FreeTDS, or the vendor's ODBC driver for "
                  "SQL Server) and give its name as `odbcinst -q -d` lists it");
  }
  if (has_state("IM002")) {
    throw DbError("cannot connect through ODBC: the data source '" + dsn.value_or("") +
                  "' is not defined (" + reason +
                  "). Define it in /etc/odbc.ini or ~/.odbc.ini (`odbcinst -q -s` lists them), "
                  "or give Driver=...;Server=...;Database=... instead");
  }
  if (cannot_load) {
    throw DbError("cannot connect through ODBC: the driver of the data source '" +
                  dsn.value_or("") + "' cannot be loaded (" + reason +
                  "). Install it and check its entry in /etc/odbcinst.ini");
  }
  if (has_state("28")) {
    throw DbError("cannot connect through ODBC: the server refused the login (" + reason +
                  "). Check UID and PWD (or the trusted connection) and that the login may use "
                  "the database");
  }
  throw DbError("cannot connect through ODBC: " + reason +
                ". Check Server, Port, Database, UID and PWD in the connection string");
}

DriverChannel::~DriverChannel() {
  if (!connected_) return;
  // An open transaction would keep the driver from disconnecting: it ends unsaved.
  if (!autocommit_) SQLEndTran(SQL_HANDLE_DBC, dbc_->get(), SQL_ROLLBACK);
  SQLDisconnect(dbc_->get());
}

Result DriverChannel::ReadResult(const Handle& stmt, const std::vector<Column>* described) {
  SQLSMALLINT columns = 0;
  stmt.Check(SQLNumResultCols(stmt.get(), &columns), "cannot read a result");
  if (columns > 0) return Fetch(stmt, columns, described);
  SQLLEN count = 0;
  stmt.Check(SQLRowCount(stmt.get(), &count), "cannot read a row count");
  Result r;
  r.count = std::max<SQLLEN>(count, 0);
  return r;
}

Result DriverChannel::Fetch(const Handle& stmt, SQLSMALLINT columns,
                            const std::vector<Column>* described) {
  Result r;
  r.has_rows = true;
  if (described != nullptr && described->size() == static_cast<std::size_t>(columns)) {
    r.columns = *described;
  } else {
    for (SQLSMALLINT c = 1; c <= columns; ++c)
      r.columns.push_back(DescribeColumn(stmt, static_cast<SQLUSMALLINT>(c)));
  }
  // A driver that cannot read a long value out of a block gets long texts row by row.
  if (reads_within_blocks_ || std::all_of(r.columns.begin(), r.columns.end(), FitsItsCell)) {
    FetchInBlocks(stmt, r);
  } else {
    FetchRowByRow(stmt, r);
  }
  r.count = static_cast<std::int64_t>(r.rows.size());
  return r;
}

void DriverChannel::FetchInBlocks(const Handle& stmt, Result& r) {
  std::size_t row_bytes = 0;
  for (const Column& c : r.columns)
    row_bytes += static_cast<std::size_t>(CellWidth(c)) + sizeof(SQLLEN);
  SQLULEN rows =
      std::clamp<SQLULEN>(kBlockBytes / std::max<std::size_t>(row_bytes, 1), 1, kMaxBlockRows);
  // No bigger than the result, where the driver knows its size: a row read back after a write
  // needs no buffers for a thousand.
  SQLLEN known = -1;
  if (SQL_SUCCEEDED(SQLRowCount(stmt.get(), &known)) && known >= 0) {
    rows = std::clamp<SQLULEN>(static_cast<SQLULEN>(known), 1, rows);
  }
  SQLULEN fetched = 0;
  std::vector<SQLUSMALLINT> status(rows, SQL_ROW_NOROW);
  // The buffers live in this frame: unbound before it ends, whatever happens, so that a later
  // result of the batch neither writes into them nor is read in blocks unasked.
  struct Unbind {
    const Handle& stmt;
    ~Unbind() {
      SQLFreeStmt(stmt.get(), SQL_UNBIND);
      SQLSetStmtAttr(stmt.get(), SQL_ATTR_ROW_ARRAY_SIZE, AttributeValue(1), 0);
      SQLSetStmtAttr(stmt.get(), SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0);
      SQLSetStmtAttr(stmt.get(), SQL_ATTR_ROW_STATUS_PTR, nullptr, 0);
    }
  } unbind{stmt};
  stmt.Check(
      SQLSetStmtAttr(stmt.get(), SQL_ATTR_ROW_BIND_TYPE, AttributeValue(SQL_BIND_BY_COLUMN), 0),
      "cannot set up the reading of a result");
  stmt.Check(SQLSetStmtAttr(stmt.get(), SQL_ATTR_ROW_ARRAY_SIZE, AttributeValue(rows), 0),
             "cannot set up the reading of a result");
  stmt.Check(SQLSetStmtAttr(stmt.get(), SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0),
             "cannot set up the reading of a result");
  stmt.Check(SQLSetStmtAttr(stmt.get(), SQL_ATTR_ROW_STATUS_PTR, status.data(), 0),
             "cannot set up the reading of a result");
  const std::vector<BoundColumn> bound = BindColumns(stmt, r.columns, rows);
  for (;;) {
    const SQLRETURN rc = SQLFetch(stmt.get());
    if (rc == SQL_NO_DATA) break;
    stmt.Check(rc, "cannot read a row");
    for (SQLULEN i = 0; i < fetched; ++i) {
      if (status[i] == SQL_ROW_ERROR) stmt.Check(SQL_ERROR, "cannot read a row");
      if (status[i] == SQL_ROW_NOROW) continue;
      auto& row = r.rows.emplace_back();
      row.reserve(bound.size());
      for (std::size_t c = 0; c < bound.size(); ++c) {
        bool cut = false;
        row.push_back(CellText(bound[c], i, &cut));
        if (cut) row.back() = ReadWhole(stmt, r.columns[c], i, c);
      }
    }
  }
}

std::optional<std::string> DriverChannel::ReadWhole(const Handle& stmt, const Column& column,
                                                    SQLULEN row, std::size_t number) {
  if (!reads_within_blocks_) {
    throw DbError("a value of column " + column.name + " is longer than the driver described it (" +
                  std::to_string(column.size) + " characters)");
  }
  stmt.Check(
      SQLSetPos(stmt.get(), static_cast<SQLSETPOSIROW>(row + 1), SQL_POSITION, SQL_LOCK_NO_CHANGE),
      "cannot read a long value");
  return ReadCell(stmt, static_cast<SQLUSMALLINT>(number + 1),
                  static_cast<SQLSMALLINT>(column.sql_type));
}

void DriverChannel::FetchRowByRow(const Handle& stmt, Result& r) {
  const std::size_t columns = r.columns.size();
  for (;;) {
    const SQLRETURN rc = SQLFetch(stmt.get());
    if (rc == SQL_NO_DATA) break;
    stmt.Check(rc, "cannot read a row");
    auto& row = r.rows.emplace_back();
    row.reserve(columns);
    for (std::size_t c = 0; c < columns; ++c) {
      row.push_back(ReadCell(stmt, static_cast<SQLUSMALLINT>(c + 1),
                             static_cast<SQLSMALLINT>(r.columns[c].sql_type)));
    }
  }
}

void DriverChannel::Cancel() noexcept {
  // SQLCancel on a statement running in another thread is how ODBC stops it.
  std::lock_guard lock(running_mutex_);
  if (running_ != SQL_NULL_HSTMT) SQLCancel(running_);
}

void DriverChannel::LimitTime(const Handle& stmt) const {
  if (query_timeout_ <= 0) return;
  stmt.Check(SQLSetStmtAttr(stmt.get(), SQL_ATTR_QUERY_TIMEOUT,
                            AttributeValue(static_cast<SQLULEN>(query_timeout_)), 0),
             "cannot set the statement timeout");
}

std::vector<Result> DriverChannel::Run(std::string_view sql, const std::vector<Parameter>& params) {
  Handle stmt(SQL_HANDLE_STMT, dbc_->get());
  LimitTime(stmt);
  Bindings bindings;
  for (std::size_t i = 0; i < params.size(); ++i) {
    Bind(stmt, static_cast<SQLUSMALLINT>(i + 1), params[i], bindings);
  }
  return Execute(stmt, sql);
}

std::vector<Result> DriverChannel::RunArray(std::string_view sql,
                                            const std::vector<std::vector<Parameter>>& sets) {
  if (!batches_arrays_ || sets.size() <= 1 || sets[0].empty()) {
    return Channel::RunArray(sql, sets);
  }
  std::vector<ParameterColumn> columns;
  for (std::size_t p = 0; p < sets[0].size(); ++p) {
    const auto kind = SharedKind(sets, p);
    // Values of one parameter that differ in kind cannot share a buffer: one set at a time.
    if (!kind) return Channel::RunArray(sql, sets);
    columns.push_back(ArrayOf(sets, p, *kind));
  }
  Handle stmt(SQL_HANDLE_STMT, dbc_->get());
  LimitTime(stmt);
  std::vector<SQLUSMALLINT> status(sets.size(), SQL_PARAM_UNUSED);
  SQLULEN processed = 0;
  stmt.Check(SQLSetStmtAttr(stmt.get(), SQL_ATTR_PARAM_BIND_TYPE,
                            AttributeValue(SQL_PARAM_BIND_BY_COLUMN), 0),
             "cannot set up an array of parameters");
  // A driver that refuses an array of this size gets the sets one at a time.
  if (!SQL_SUCCEEDED(
          SQLSetStmtAttr(stmt.get(), SQL_ATTR_PARAMSET_SIZE, AttributeValue(sets.size()), 0))) {
    return Channel::RunArray(sql, sets);
  }
  stmt.Check(SQLSetStmtAttr(stmt.get(), SQL_ATTR_PARAM_STATUS_PTR, status.data(), 0),
             "cannot set up an array of parameters");
  stmt.Check(SQLSetStmtAttr(stmt.get(), SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0),
             "cannot set up an array of parameters");
  for (std::size_t p = 0; p < columns.size(); ++p) {
    ParameterColumn& c = columns[p];
    stmt.Check(
        SQLBindParameter(stmt.get(), static_cast<SQLUSMALLINT>(p + 1), SQL_PARAM_INPUT, c.c_type,
                         c.sql_type, c.size, c.digits, c.cells.data(), c.width, c.lengths.data()),
        "cannot bind parameter " + std::to_string(p + 1));
  }
  auto results = Execute(stmt, sql, true);
  // The driver said success: every set must have gone through, each with its own result.
  for (std::size_t i = 0; i < sets.size(); ++i) {
    if (i < processed &&
        (status[i] == SQL_PARAM_SUCCESS || status[i] == SQL_PARAM_SUCCESS_WITH_INFO ||
         status[i] == SQL_PARAM_DIAG_UNAVAILABLE)) {
      continue;
    }
    throw DbError("set " + std::to_string(i + 1) + " of " + std::to_string(sets.size()) +
                  " of an array of parameters was not applied: " +
                  Describe(Diagnostics(SQL_HANDLE_STMT, stmt.get())));
  }
  if (results.size() != sets.size()) {
    throw DbError("an array of " + std::to_string(sets.size()) + " sets of parameters gave " +
                  std::to_string(results.size()) + " results");
  }
  return results;
}

std::vector<Result> DriverChannel::Execute(const Handle& stmt, std::string_view sql, bool alike) {
  std::u16string text = Utf16(sql);
  {
    std::lock_guard lock(running_mutex_);
    running_ = stmt.get();
  }
  struct Done {
    DriverChannel& channel;
    ~Done() {
      std::lock_guard lock(channel.running_mutex_);
      channel.running_ = SQL_NULL_HSTMT;
    }
  } done{*this};
  SQLRETURN rc = SQLExecDirectW(stmt.get(), Wide(text), static_cast<SQLINTEGER>(text.size()));
  std::vector<Result> results;
  std::size_t first_rows = SIZE_MAX;  // the first row set among the results
  std::optional<std::string> failure;
  int errors_in_a_row = 0;
  for (bool first = true;; first = false) {
    if (rc == SQL_NO_DATA) {
      if (!first) break;
      results.push_back(Result{});  // a searched UPDATE or DELETE that touched no row
    } else if (rc == SQL_ERROR) {
      const auto diagnostics = Diagnostics(SQL_HANDLE_STMT, stmt.get());
      if (!failure) failure = Describe(diagnostics);
      // A fault of the driver or of the link ends the batch; a statement's error does not.
      const bool fatal = diagnostics.empty() || diagnostics[0].state.rfind("HY", 0) == 0 ||
                         diagnostics[0].state.rfind("08", 0) == 0;
      if (fatal || ++errors_in_a_row > 100) break;
    } else if (SQL_SUCCEEDED(rc)) {
      errors_in_a_row = 0;
      try {
        const bool known = alike && first_rows != SIZE_MAX;
        results.push_back(ReadResult(stmt, known ? &results[first_rows].columns : nullptr));
        if (results.back().has_rows && first_rows == SIZE_MAX) first_rows = results.size() - 1;
      } catch (const DbError& e) {
        if (!failure) failure = e.what();
      }
    } else {
      if (!failure) failure = "unexpected answer " + std::to_string(rc) + " from the driver";
      break;
    }
    rc = SQLMoreResults(stmt.get());
    if (rc == SQL_NO_DATA) break;
  }
  if (failure) throw DbError(*failure);
  return results;
}

void DriverChannel::SetAutoCommit(bool on) {
  dbc_->Check(SQLSetConnectAttrW(dbc_->get(), SQL_ATTR_AUTOCOMMIT,
                                 AttributeValue(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF),
                                 SQL_IS_UINTEGER),
              on ? "cannot end the transaction mode" : "cannot begin a transaction");
  autocommit_ = on;
}

void DriverChannel::EndTransaction(bool commit) {
  dbc_->Check(SQLEndTran(SQL_HANDLE_DBC, dbc_->get(), commit ? SQL_COMMIT : SQL_ROLLBACK),
              commit ? "cannot commit the transaction" : "cannot roll back the transaction");
}

std::vector<std::string> DriverChannel::PrimaryKey(const std::string& schema,
                                                   const std::string& table) {
  Handle stmt(SQL_HANDLE_STMT, dbc_->get());
  LimitTime(stmt);
  std::u16string wide_schema = Utf16(schema);
  std::u16string wide_table = Utf16(table);
  stmt.Check(SQLPrimaryKeysW(stmt.get(), nullptr, 0, schema.empty() ? nullptr : Wide(wide_schema),
                             schema.empty() ? 0 : static_cast<SQLSMALLINT>(wide_schema.size()),
                             Wide(wide_table), static_cast<SQLSMALLINT>(wide_table.size())),
             "cannot read the primary key of " + table);
  std::map<int, std::string> columns;  // by position in the key
  for (;;) {
    const SQLRETURN rc = SQLFetch(stmt.get());
    if (rc == SQL_NO_DATA) break;
    stmt.Check(rc, "cannot read the primary key of " + table);
    const auto name = ReadCell(stmt, 4, SQL_WVARCHAR);
    const auto position = ReadCell(stmt, 5, SQL_SMALLINT);
    if (name && position) columns[std::atoi(position->c_str())] = *name;
  }
  std::vector<std::string> out;
  for (auto& [position, name] : columns)
    out.push_back(std::move(name));
  return out;
}

}  // namespace

std::unique_ptr<Channel> OpenDriverChannel(std::string_view connection_string) {
  return std::make_unique<DriverChannel>(connection_string);
}

}  // namespace veriprog::db::odbc
