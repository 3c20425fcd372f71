// The VAT register operations without a server: their statements byte for byte (with the
// company's VAT sections managed or not, with and without the stored rows), the order of their
// parameter checks, and what a failure leaves behind.
#include "tests/support/statements.h"

#include <gtest/gtest.h>

#include "iva/controllo_iva.h"
#include "tests/support/fakes.h"
#include "veriprog/main_object.h"
#include "veriprog/row_table.h"

namespace veriprog {
namespace {

using db::FieldDef;
using db::Variant;

db::QueryResult Rows(const std::vector<FieldDef>& fields,
                     const std::vector<std::vector<Variant>>& rows,
                     std::shared_ptr<const db::WriteTarget> target = nullptr) {
  auto table = std::make_shared<db::RowTable>();
  for (const auto& f : fields)
    table->AppendField(f);
  for (const auto& r : rows)
    table->AppendLoadedRow(r);
  return {table, std::move(target)};
}

Variant Amount(const char* text) {
  return db::Decimal::Parse(text);
}

// Answers the identifier, the check's result table and the stored totals as a server would.
std::optional<db::QueryResult> Answer(std::string_view sql) {
  if (sql == "SELECT NEWID() AS ID") {
    return Rows({FieldDef::VarChar("ID", 38)}, {{"{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}"}});
  }
  if (sql.rfind(" SELECT * FROM #PROGIVA_", 0) == 0) {
    std::vector<FieldDef> fields = {
        FieldDef::Numeric("ANNO", 4, 0),    FieldDef::Numeric("TIPOREGISTRO", 2, 0),
        FieldDef::Char("SEZIONALE", 2),     FieldDef::Char("CODICEIVA", 4),
        FieldDef::Numeric("TIPOIVA", 2, 0), FieldDef::Numeric("MESE", 2, 0)};
    for (const char* f : {"IMPONIBILEPROGR", "IMPOSTAPROGR", "IMPOSTANDPROGR", "IMPONIBILEMOV",
                          "IMPOSTAMOV", "IMPOSTANDMOV"})
      fields.push_back(FieldDef::Numeric(f, 17, 2));
    fields.push_back(FieldDef::Char("TIPORECORD", 3));
    const Variant zero = Amount("0.00");
    auto mov = [&](int tipo, const char* sez, const char* imp) -> std::vector<Variant> {
      return {db::Decimal(2024),
              db::Decimal(tipo),
              sez,
              "22  ",
              db::Decimal(1),
              db::Decimal(6),
              zero,
              zero,
              zero,
              Amount(imp),
              zero,
              zero,
              "MOV"};
    };
    return Rows(fields, {mov(14, "B ", "500.00"), mov(14, "B ", "500.00"), mov(2, "RP", "7.00")});
  }
  if (sql.rfind("SELECT * FROM CG59_PROGIVAM", 0) == 0) {
    std::vector<FieldDef> fields = {
        FieldDef::Integer("CG59_DITTA_CG18"),     FieldDef::Integer("CG59_ANNO"),
        FieldDef::Integer("CG59_MESE", 2),        FieldDef::Integer("CG59_INDTIPO", 2),
        FieldDef::Char("CG59_SEZIONALE", 2),      FieldDef::Char("CG59_ALIQIVA_CG28", 4),
        FieldDef::Integer("CG59_INDCAUSIVA", 2),  FieldDef::Numeric("CG59_IMPONIBILE", 17, 2),
        FieldDef::Numeric("CG59_IMPOSTA", 17, 2), FieldDef::Numeric("CG59_IMPOSTAND", 17, 2)};
    auto target = std::make_shared<db::WriteTarget>();
    target->table = "CG59_PROGIVAM";
    for (const auto& f : fields)
      target->columns.push_back(f.name);
    target->key_fields = {0, 1, 2, 3, 4, 5, 6};
    return Rows(fields,
                {{3, 2024, 6, 5, "B ", "22  ", 1, Amount("1.00"), Amount("0.00"), Variant::Null()}},
                target);
  }
  return std::nullopt;
}

struct Fixture {
  std::shared_ptr<testing::FakeCompany> company = std::make_shared<testing::FakeCompany>();
  std::shared_ptr<testing::FakeConnection> conn = std::make_shared<testing::FakeConnection>();
  std::shared_ptr<testing::EventLog> events = std::make_shared<testing::EventLog>();
  CLSCG_VERIPROG main{testing::FakeOutside(company)};

  Fixture() {
    conn->answer = Answer;
    main.CPInput()->GConnect = conn;
    main.CPInput()->Ditta = 3;
    main.CPInput()->Anno = "2024";
    main.CPInput()->EseguiTransazione = true;
    main.Advise(events);
  }
  void Check(bool stored) { main.ControlloProgressiviIVA(stored); }
};

TEST(VatStatements, AreTheComposedTextByteForByte) {
  {
    Fixture f;
    f.company->vat_sections = 1;
    f.company->sections_from = *db::DateTime::FromParts(2024, 3, 15);
    f.company->last_summary_print = *db::DateTime::FromParts(2024, 8, 31);
    f.Check(false);
    ASSERT_EQ(f.main.Stato(), tsOk) << f.main.Errore();
    testing::ExpectStatements(f.conn->batches, "vat_check");
    EXPECT_EQ(f.main.CPOutput()->TabTempControlloProgressiviIVA,
              "#PROGIVA_0A1B2C3D4E5F60718293A4B5C6D7E8F9");
  }
  {
    Fixture f;
    f.Check(true);
    ASSERT_EQ(f.main.Stato(), tsOk) << f.main.Errore();
    testing::ExpectStatements(f.conn->batches, "vat_check_stored");
  }
  {
    Fixture f;
    f.main.AzzeraAggiornaProgressiviIVA();
    ASSERT_EQ(f.main.Stato(), tsOk) << f.main.Errore();
    testing::ExpectStatements(f.conn->batches, "vat_rebuild");
    EXPECT_EQ(f.conn->begins, 1);
    EXPECT_EQ(f.conn->commits, 1);
  }
}

TEST(VatParameters, CheckedInTheOrderOfEachOperation) {
  struct Case {
    bool company_fails;
    Variant ditta, anno;
    const char* check;    // ControlloProgressiviIVA: connection, company object, company, year
    const char* rebuild;  // AzzeraAggiornaProgressiviIVA: connection, company, year, object
  };
  const Case cases[] = {
      {true, Variant(), Variant(), "Errore in creazione classe ditta base",
       "Non è stata definita la ditta"},
      {true, 3, Variant(), "Errore in creazione classe ditta base", "Non è stato definito l'anno"},
      {false, "", 2024, "Non è stata definita la ditta", "Non è stata definita la ditta"},
      {false, 3, Variant::Null(), "Non è stato definito l'anno", "Non è stato definito l'anno"},
      {false, 3, "2024; DROP TABLE CG59_PROGIVAM",
       "Il parametro Anno deve essere un numero intero (valore: '2024; DROP TABLE CG59_PROGIVAM')",
       "Il parametro Anno deve essere un numero intero (valore: '2024; DROP TABLE CG59_PROGIVAM')"},
      {false, "3 OR 1=1", 2024,
       "Il parametro Ditta deve essere un numero intero (valore: '3 OR 1=1')",
       "Il parametro Ditta deve essere un numero intero (valore: '3 OR 1=1')"},
  };
  for (const Case& c : cases) {
    for (bool rebuild : {false, true}) {
      Fixture f;
      f.company->fail = c.company_fails;
      f.main.CPInput()->Ditta = c.ditta;
      f.main.CPInput()->Anno = c.anno;
      rebuild ? f.main.AzzeraAggiornaProgressiviIVA() : f.Check(true);
      EXPECT_EQ(f.main.Stato(), tsParametriNonValidi);
      EXPECT_EQ(f.main.Errore(), rebuild ? c.rebuild : c.check);
      EXPECT_TRUE(f.conn->batches.empty());
      EXPECT_TRUE(f.events->lines.empty());
      EXPECT_EQ(f.conn->begins, 0);
    }
  }
  Fixture f;
  f.main.CPInput()->GConnect = nullptr;
  f.main.CPInput()->SConnect = "";
  f.Check(false);
  EXPECT_EQ(f.main.Errore(), "Non è stata definita la connessione");
}

// A failing batch: the error rule under the check's driver, no End event, and neither an
// earlier call's rows nor its table's name left for the host to take as this call's.
TEST(VatParameters, FailureLeavesNoEarlierResult) {
  Fixture f;
  f.Check(true);
  ASSERT_EQ(f.main.Stato(), tsOk);
  ASSERT_NE(f.main.CPOutput()->RecSetControlloProgressiviIVA, nullptr);
  f.events->lines.clear();
  f.conn->fail_with = "tabella inesistente";
  f.Check(true);
  EXPECT_EQ(f.main.Stato(), tsProgramError);
  EXPECT_EQ(f.main.Errore(), "tabella inesistente in ControlloProgressiviIVA_Massivo");
  EXPECT_TRUE(f.events->lines.empty());
  EXPECT_EQ(f.main.CPOutput()->RecSetControlloProgressiviIVA, nullptr);
  EXPECT_EQ(f.main.CPOutput()->TabTempControlloProgressiviIVA, "");
}

TEST(VatParameters, TemporaryTableNameIsLettersAndDigitsOnly) {
  using iva::ControlloProgressiviIva;
  EXPECT_EQ(ControlloProgressiviIva::NomeTabella("{ab-12}"), "#PROGIVA_ab12");
  EXPECT_EQ(ControlloProgressiviIva::NomeTabella(""), "#PROGIVA_");
  EXPECT_THROW(ControlloProgressiviIva::NomeTabella("AB'; DROP TABLE X --"), db::DbError);
  EXPECT_THROW(ControlloProgressiviIva::NomeTabella("AB CD"), db::DbError);
}

}  // namespace
}  // namespace veriprog
