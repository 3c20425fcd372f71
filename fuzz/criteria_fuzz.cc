// Any text as a record-set filter: parsed into terms or refused with a DbError, never a crash;
// the values of the terms it accepts can be compared with the values a record set holds.
#include <cstddef>
#include <cstdint>
#include <string>

#include "veriprog/criteria.h"
#include "veriprog/error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace veriprog::db;
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    for (const Criterion& c : ParseCriteria(text)) {
      for (const Variant& v :
           {Variant(12), Variant("12 "), Variant(Decimal::Parse("-0.50")), Variant::Null()}) {
        if (auto order = Compare(v, c.value, TextCompare::kSql)) Satisfies(c.op, *order);
      }
    }
  } catch (const DbError&) {
  }
  return 0;
}
