// What the command line prints for programs: JSON with exact decimals and nulls, CSV quoting.
#include "cli/output.h"

#include <gtest/gtest.h>

#include <sstream>

namespace veriprog::cli {
namespace {

db::Recordset Sample() {
  db::Recordset rs;
  rs.AppendField(db::FieldDef::Char("CONTO", 10));
  rs.AppendField(db::FieldDef::Numeric("DIFFSALDO", 17, 2));
  rs.AppendField(db::FieldDef::VarChar("DESCRIZIONE", 40));
  rs.Open();
  rs.AddNew();
  rs.Set("CONTO", "1001");
  rs.Set("DIFFSALDO", db::Decimal::Parse("-12345678901234.50"));
  rs.Set("DESCRIZIONE", "Cassa, \"sede\"\nnord");
  rs.AddNew();
  rs.Set("CONTO", "4001");
  rs.Set("DIFFSALDO", db::Variant::Null());
  return rs;
}

TEST(Output, JsonKeepsEveryDigitAndNulls) {
  db::Recordset rs = Sample();
  EXPECT_EQ(
      RowsToJson(rs).dump(),
      R"([{"CONTO":"1001      ","DIFFSALDO":"-12345678901234.50","DESCRIZIONE":"Cassa, \"sede\"\nnord"},)"
      R"({"CONTO":"4001      ","DIFFSALDO":null,"DESCRIZIONE":null}])");
}

TEST(Output, CsvQuotesWhatNeedsIt) {
  db::Recordset rs = Sample();
  std::ostringstream out;
  PrintCsv(out, rs);
  EXPECT_EQ(out.str(),
            "CONTO,DIFFSALDO,DESCRIZIONE\r\n"
            "1001      ,-12345678901234.50,\"Cassa, \"\"sede\"\"\nnord\"\r\n"
            "4001      ,,\r\n");
}

// Descriptions from a hostile chart of accounts, beside negative amounts that must stay numbers.
db::Recordset Hostile() {
  db::Recordset rs;
  rs.AppendField(db::FieldDef::VarChar("DESCRIZIONE", 40));
  rs.AppendField(db::FieldDef::Numeric("DIFFSALDO", 17, 2));
  rs.AppendField(db::FieldDef::Integer("MESE", 4));
  rs.Open();
  for (const char* text :
       {"=cmd|' /c calc'!A1", "+1+1", "-2+3", "@SUM(A1)", "\tx", "\rx", "a=b", "-12.50"}) {
    rs.AddNew();
    rs.Set("DESCRIZIONE", text);
    rs.Set("DIFFSALDO", db::Decimal::Parse("-12.50"));
    rs.Set("MESE", std::int64_t{-1});
  }
  return rs;
}

TEST(Output, CsvKeepsFormulasOutOfSpreadsheets) {
  db::Recordset rs = Hostile();
  std::ostringstream out;
  PrintCsv(out, rs);
  EXPECT_EQ(out.str(),
            "DESCRIZIONE,DIFFSALDO,MESE\r\n"
            "'=cmd|' /c calc'!A1,-12.50,-1\r\n"
            "'+1+1,-12.50,-1\r\n"
            "'-2+3,-12.50,-1\r\n"
            "'@SUM(A1),-12.50,-1\r\n"
            "'\tx,-12.50,-1\r\n"
            "\"'\rx\",-12.50,-1\r\n"
            "a=b,-12.50,-1\r\n"
            "-12.50,-12.50,-1\r\n");  // an amount held as text, as a dry run's old and new
}

TEST(Output, TableShowsControlCharactersAndKeepsItsColumns) {
  db::Recordset rs;
  rs.AppendField(db::FieldDef::VarChar("DESCRIZIONE", 40));
  rs.AppendField(db::FieldDef::Integer("N", 4));
  rs.Open();
  // An escape that would recolour the terminal, DEL, a C1 control (U+009B, CSI) and a line end;
  // the accented letter stays as it is.
  for (const char* text : {"\x1b[31mrosso",
                           "a\x7f\xc2\x9b"
                           "2J\nb",
                           "città"}) {
    rs.AddNew();
    rs.Set("DESCRIZIONE", text);
    rs.Set("N", std::int64_t{7});
  }
  std::ostringstream out;
  PrintTable(out, rs);
  EXPECT_EQ(out.str(),
            "DESCRIZIONE       N\n"
            "\\x1b[31mrosso     7\n"
            "a\\x7f\\x9b2J\\x0ab  7\n"
            "città             7\n"
            "(3 rows)\n");
}

}  // namespace
}  // namespace veriprog::cli
