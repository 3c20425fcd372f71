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

}  // namespace
}  // namespace veriprog::cli
