// Connection strings that cannot work fail with a message that says what is wrong and what to
// do, before or while the driver manager is asked: never a crash, never a password echoed.
#include <gtest/gtest.h>

#include "db/odbc/connection_string.h"
#include "veriprog/connection.h"
#include "veriprog/error.h"

namespace veriprog::db {
namespace {

std::string FailureOf(std::string_view connection_string) {
  try {
    Connect(connection_string);
  } catch (const DbError& e) {
    return e.what();
  }
  return "(connected)";
}

TEST(OdbcConnectionString, PartsBracesAndMistakes) {
  const auto parts = odbc::ParseConnectionString(
      " Driver={ODBC Driver 18 for SQL Server};Server=db,1433 ;"
      "PWD={a;b}}c};Database=CONTABILITA;");
  ASSERT_EQ(parts.size(), 4u);
  EXPECT_EQ(odbc::Find(parts, "driver"), "ODBC Driver 18 for SQL Server");
  EXPECT_EQ(odbc::Find(parts, "SERVER"), "db,1433");
  EXPECT_EQ(odbc::Find(parts, "PWD"), "a;b}c");
  EXPECT_FALSE(odbc::Find(parts, "UID"));

  EXPECT_TRUE(odbc::IsOdbcConnectionString("DSN=contabilita"));
  EXPECT_TRUE(odbc::IsOdbcConnectionString("Server=x;driver={FreeTDS}"));
  EXPECT_FALSE(odbc::IsOdbcConnectionString("host=/tmp dbname=ledger"));
  EXPECT_FALSE(odbc::IsOdbcConnectionString("postgresql://u@h/ledger"));
}

TEST(OdbcConnect, BadStringsMissingDriversAndOtherProvidersAreClear) {
  std::string e = FailureOf("Driver={FreeTDS;Server=x;PWD=segreto");
  EXPECT_NE(e.find("bad ODBC connection string"), std::string::npos) << e;
  EXPECT_NE(e.find("never closes"), std::string::npos) << e;
  EXPECT_EQ(e.find("segreto"), std::string::npos) << "no password in messages: " << e;

  e = FailureOf("Driver={FreeTDS};Server=x;PWD=seg;reto");
  EXPECT_NE(e.find("has no '='"), std::string::npos) << e;
  EXPECT_EQ(e.find("reto"), std::string::npos) << e;

  e = FailureOf("Server=db;Database=CONTABILITA;UID=sa");
  EXPECT_NE(e.find("names no Driver and no DSN"), std::string::npos) << e;

  e = FailureOf("Driver={Nessun driver installato};Server=db;Database=CONTABILITA");
  EXPECT_NE(e.find("cannot connect through ODBC"), std::string::npos) << e;
  EXPECT_NE(e.find("'Nessun driver installato' is not installed"), std::string::npos) << e;
  EXPECT_NE(e.find("odbcinst -q -d"), std::string::npos) << e;

  e = FailureOf("DSN=contabilita_inesistente");
  EXPECT_NE(e.find("'contabilita_inesistente' is not defined"), std::string::npos) << e;

  e = FailureOf("Provider=SQLOLEDB;Data Source=db;Initial Catalog=CONTABILITA");
  EXPECT_NE(e.find("OLE DB connection strings"), std::string::npos) << e;
}

}  // namespace
}  // namespace veriprog::db
