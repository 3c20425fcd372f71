// The comparison of the VAT check's rows per key, as every host gets it.
#include "veriprog/vat_comparison.h"

#include <gtest/gtest.h>

#include "cli/output.h"

namespace veriprog {
namespace {

using db::Variant;

// A check row: key, stored amounts, journal amounts, kind.
void Add(db::Recordset& rs, int tipo, const char* sez, int mese, const char* progr, const char* mov,
         const char* kind) {
  rs.AddNew();
  rs.Set("ANNO", 2024);
  rs.Set("TIPOREGISTRO", tipo);
  rs.Set("SEZIONALE", sez);
  rs.Set("CODICEIVA", "22");
  rs.Set("TIPOIVA", 1);
  rs.Set("MESE", mese);
  for (const char* f : {"IMPONIBILEPROGR", "IMPOSTAPROGR", "IMPOSTANDPROGR"})
    rs.Set(f, db::Decimal::Parse(progr));
  for (const char* f : {"IMPONIBILEMOV", "IMPOSTAMOV", "IMPOSTANDMOV"})
    rs.Set(f, db::Decimal::Parse(mov));
  rs.Set("TIPORECORD", kind);
  rs.Update();
}

TEST(CompareVatTotals, OneRowPerKeyWithDifferencesAndFlag) {
  db::Recordset rows;
  rows.AppendField(db::FieldDef::Numeric("ANNO", 4, 0));
  rows.AppendField(db::FieldDef::Numeric("TIPOREGISTRO", 2, 0));
  rows.AppendField(db::FieldDef::Char("SEZIONALE", 2));
  rows.AppendField(db::FieldDef::Char("CODICEIVA", 4));
  rows.AppendField(db::FieldDef::Numeric("TIPOIVA", 2, 0));
  rows.AppendField(db::FieldDef::Numeric("MESE", 2, 0));
  for (const char* f : {"IMPONIBILEPROGR", "IMPOSTAPROGR", "IMPOSTANDPROGR", "IMPONIBILEMOV",
                        "IMPOSTAMOV", "IMPOSTANDMOV"})
    rows.AppendField(db::FieldDef::Numeric(f, 17, 2));
  rows.AppendField(db::FieldDef::Char("TIPORECORD", 3));
  rows.Open();
  // Type 14: two journal rows of 500.00 against 1000.00 stored: equal.
  Add(rows, 14, "B", 6, "0.00", "500.00", "MOV");
  Add(rows, 14, "B", 6, "0.00", "500.00", "MOV");
  Add(rows, 14, "B", 6, "1000.00", "0.00", "PGR");
  // Type 2: journal 10.00, stored 9.99; type 5 stored only; type 1 in the journal only.
  Add(rows, 2, "A", 6, "0.00", "10.00", "MOV");
  Add(rows, 2, "A", 6, "9.99", "0.00", "PGR");
  Add(rows, 5, "A", 6, "3.00", "0.00", "PGR");
  Add(rows, 1, "A", 7, "0.00", "4.00", "MOV");
  auto out = CompareVatTotals(rows);
  ASSERT_NE(out, nullptr);
  auto json = cli::RowsToJson(*out);
  ASSERT_EQ(json.size(), 4u);
  EXPECT_EQ(json[0]["TIPOREGISTRO"], "14");
  EXPECT_EQ(json[0]["IMPONIBILEMOV"], "1000.00");
  EXPECT_EQ(json[0]["IMPONIBILEPROGR"], "1000.00");
  EXPECT_TRUE(json[0]["DIFFIMPONIBILE"].is_null());
  EXPECT_TRUE(json[0]["FLAGSBIL"].is_null());
  EXPECT_EQ(json[1]["DIFFIMPOSTA"], "0.01");
  EXPECT_EQ(json[1]["FLAGSBIL"], "Si");
  EXPECT_EQ(json[2]["DIFFIMPOSTAND"], "-3.00");
  EXPECT_EQ(json[2]["IMPONIBILEMOV"], "0.00");
  EXPECT_EQ(json[3]["DIFFIMPONIBILE"], "4.00");
  EXPECT_EQ(json[3]["MESE"], "7");
  EXPECT_EQ(json[3]["SEZIONALE"], "A ");
  out->Filter("FLAGSBIL <> ''");
  EXPECT_EQ(out->RecordCount(), 3);
}

TEST(CompareVatTotals, RowsWithoutTheCheckColumnsAreRefusedWithoutThrowing) {
  db::Recordset rows;
  rows.AppendField(db::FieldDef::Numeric("ANNO", 4, 0));
  rows.Open();
  rows.AddNew();
  rows.Set("ANNO", 2024);
  rows.Update();
  std::string error;
  EXPECT_EQ(CompareVatTotals(rows, &error), nullptr);
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace veriprog
