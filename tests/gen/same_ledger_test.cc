// The generator gives the same ledger through either backend: the same seed written through libpq
// (COPY) and through the ODBC driver (parameter inserts) into two databases leaves every table
// with the same rows, and the generator lists the same totals made wrong.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gen/ledger_generator.h"
#include "gen/ledger_writer.h"
#include "tests/support/test_database.h"
#include "veriprog/connection.h"

namespace veriprog {
namespace {

std::string Dump(db::Connection& conn, const std::string& table, int columns) {
  std::string order;
  for (int i = 1; i <= columns; ++i)
    order += (i == 1 ? "" : ", ") + std::to_string(i);
  std::string out;
  for (const auto& row : gen::Query(conn, "SELECT * FROM " + table + " ORDER BY " + order)) {
    for (const auto& cell : row)
      out += (cell ? *cell : "NULL") + "|";
    out += "\n";
  }
  return out;
}

std::string Listed(const gen::GeneratedLedger& l) {
  std::string out = std::to_string(l.journal_lines) + " " + std::to_string(l.yearly_totals) + " " +
                    std::to_string(l.monthly_totals) + "\n";
  for (const auto& w : l.wrong) {
    out += std::to_string(w.ditta) + " " + std::to_string(w.anno) + " " + w.conto + " " +
           std::to_string(w.sede) + " " + w.valuta + " " + w.what + " " + w.added.ToString() + " " +
           std::to_string(w.annosol) + "-" + std::to_string(w.mese) + "\n";
  }
  for (const auto& w : l.wrong_stored) {
    out += w.family + " " + std::to_string(w.ditta) + " " + std::to_string(w.anno) + " " + w.key +
           " " + w.what + "\n";
  }
  return out;
}

TEST(Generator, SameLedgerThroughLibpqAndOdbc) {
  VERIPROG_NEED_DATABASE(copied);
  VERIPROG_NEED_DATABASE(inserted);
  const gen::GeneratorOptions options{
      .seed = 17, .lines = 2000, .wrong = 7, .companies = 3, .wrong_months = 2};
  const auto through_libpq = gen::GenerateLedger(copied.libpq_conninfo(), options);
  const auto through_odbc = gen::GenerateLedger(inserted.odbc_conninfo(), options);
  EXPECT_EQ(Listed(through_libpq), Listed(through_odbc));
  EXPECT_GT(through_libpq.journal_lines, 2000);

  // Both read back the same way, so that only what was written can differ.
  const auto a = db::Connect(copied.libpq_conninfo());
  const auto b = db::Connect(inserted.libpq_conninfo());
  const auto tables = gen::Query(
      *a,
      "SELECT c.TABLE_NAME, COUNT(*) FROM INFORMATION_SCHEMA.COLUMNS c JOIN "
      "INFORMATION_SCHEMA.TABLES t ON t.TABLE_SCHEMA = c.TABLE_SCHEMA AND t.TABLE_NAME = "
      "c.TABLE_NAME WHERE t.TABLE_TYPE = 'BASE TABLE' AND t.TABLE_SCHEMA = 'public' "
      "GROUP BY c.TABLE_NAME ORDER BY c.TABLE_NAME");
  ASSERT_GT(tables.size(), 20u);
  int filled = 0;
  for (const auto& t : tables) {
    const std::string dumped = Dump(*a, *t[0], std::stoi(*t[1]));
    EXPECT_EQ(dumped, Dump(*b, *t[0], std::stoi(*t[1]))) << "table " << *t[0];
    filled += dumped.empty() ? 0 : 1;
  }
  EXPECT_GT(filled, 20);
  // The identity counters go on after the generated rows either way.
  for (const char* next :
       {"SELECT nextval(pg_get_serial_sequence('cg53_proga', 'cg53_idproga'))",
        "SELECT nextval(pg_get_serial_sequence('cg52_progm', 'cg52_idprogm'))"}) {
    EXPECT_EQ(gen::Query(*a, next), gen::Query(*b, next)) << next;
  }
}

}  // namespace
}  // namespace veriprog
