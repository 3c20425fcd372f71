// Every shape of firm the generator makes is a sound ledger: the account check of a generated
// company flags exactly the totals the generator made wrong, and each shape has what makes it
// that shape (few accounts, many counterparts in currencies, many companies, Null lines).
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "db/text.h"
#include "gen/ledger_generator.h"
#include "gen/ledger_writer.h"
#include "tests/support/test_database.h"
#include "veriprog/connection.h"
#include "veriprog/main_object.h"

namespace veriprog {
namespace {

std::set<std::string> Flagged(const testing::TestDatabase& db, int ditta) {
  CLSCG_VERIPROG main;
  main.CPInput()->SConnect = db.conninfo();
  main.CPInput()->Ditta = ditta;
  main.CPInput()->Esercizio = 2024;
  main.CPInput()->Progressivo = 1;
  main.ControlloProgressiviContabili();
  EXPECT_EQ(main.Stato(), tsOk) << main.Errore();
  std::set<std::string> flagged;
  auto rs = main.CPOutput()->RecSetControlloProgressivi;
  if (!rs) return flagged;
  rs->Filter("FLAGSBIL = 'Si'");
  for (rs->MoveFirst(); !rs->eof(); rs->MoveNext()) {
    flagged.insert(std::string(db::TrimRight(rs->Get("CONTO").ToText())) + "|" +
                   std::string(db::TrimRight(rs->Get("VALUTA").ToText())) + "|" +
                   rs->Get("SEDE").ToText() + "|" + rs->Get("DIFFSALDO").AsDecimal().ToString());
  }
  return flagged;
}

std::set<std::string> Expected(const gen::GeneratedLedger& ledger, int ditta) {
  std::set<std::string> expected;
  for (const auto& w : ledger.wrong) {
    if (w.ditta == ditta && w.anno == 2024 && w.mese == 0) {
      expected.insert(w.conto + "|" + w.valuta + "|" + std::to_string(w.sede) + "|" +
                      (-w.added).ToString());
    }
  }
  return expected;
}

// A number the ordinary lines of company 1 give: causal 001 outside the VAT registers, the core
// journal's own (the families' registrations keep their habits on every shape).
double Ordinary(db::Connection& conn, const std::string& what) {
  const auto rows = gen::Query(
      conn, "SELECT " + what +
                " FROM CG42_MOVCONT JOIN CG41_PRIMANOTA ON CG41_DITTA_CG18 = CG42_DITTA_CG18 AND "
                "CG41_NUMREG = CG42_NUMREG_CG41 WHERE CG42_DITTA_CG18 = 1 AND "
                "CG42_CODICE_CG33 = '001' AND CG41_INDTIPOREG IS NULL");
  return rows.at(0).at(0) ? std::stod(*rows[0][0]) : 0;
}

TEST(Generator, EveryShapeIsASoundLedgerOfItsKind) {
  for (const char* name :
       {"standard", "few-accounts", "many-parties", "many-companies", "sparse"}) {
    SCOPED_TRACE(name);
    VERIPROG_NEED_DATABASE(db);
    const auto shape = gen::ShapeNamed(name);
    ASSERT_TRUE(shape.has_value());
    EXPECT_EQ(gen::ShapeName(*shape), std::string(name));
    const auto ledger = gen::GenerateLedger(
        db.libpq_conninfo(), {.seed = 41, .lines = 5000, .wrong = 8, .shape = *shape});
    // Company 1, and for the many companies the last copy, which copies company 2.
    const int last = *shape == gen::LedgerShape::kManyCompanies ? 100 : 2;
    for (int ditta : {1, last}) {
      const auto expected = Expected(ledger, ditta);
      EXPECT_EQ(Flagged(db, ditta), expected) << "company " << ditta;
    }

    const auto conn = db::Connect(db.libpq_conninfo());
    const double lines = Ordinary(*conn, "COUNT(*)");
    const double accounts =
        Ordinary(*conn,
                 "COUNT(DISTINCT CG42_CONTOPAR_CG24) FILTER (WHERE CG42_CLIFORPAR_CG44 IS NULL OR "
                 "CG42_CLIFORPAR_CG44 = 0)");
    const double parties = Ordinary(*conn, "COUNT(DISTINCT CG42_CLIFORPAR_CG44)");
    const double foreign = Ordinary(*conn, "COUNT(CG42_IMPTOTALEVAL)") / lines;
    const double bare = Ordinary(*conn,
                                 "COUNT(*) FILTER (WHERE CG42_CODICE_CG31 IS NULL AND "
                                 "CG42_CODICE_CG08 IS NULL AND CG42_TIPOCF_CG44 IS NULL)") /
                        lines;
    const auto companies = gen::Query(*conn, "SELECT COUNT(*) FROM CG18_DITTE");
    switch (*shape) {
      case gen::LedgerShape::kStandard:
        EXPECT_GT(accounts, 150);
        EXPECT_LT(bare, 0.5);
        break;
      case gen::LedgerShape::kFewAccounts:
        EXPECT_LE(accounts, 13);  // a dozen, and the line with no account
        EXPECT_LE(parties, 30);
        break;
      case gen::LedgerShape::kManyParties:
        EXPECT_GT(parties, 400);  // 500 customers and 250 suppliers; 37 on the standard shape
        EXPECT_GT(foreign, 0.15);
        break;
      case gen::LedgerShape::kManyCompanies:
        EXPECT_EQ(companies.at(0).at(0), "100");
        EXPECT_LT(lines, 5000 / 5);  // a tenth of the lines for each pair of companies
        break;
      case gen::LedgerShape::kSparse:
        EXPECT_GT(bare, 0.9);
        EXPECT_EQ(foreign, 0);
        break;
    }
  }
  EXPECT_FALSE(gen::ShapeNamed("round").has_value());
}

}  // namespace
}  // namespace veriprog
