// The T-SQL dialect as data: each file of tests/dialect/ holds batches exactly as the component
// sends them, each followed by what the database must answer (its rows, "ok", or an error). The
// batches of one file run in order on one connection, so temporary tables and rows carry over.
//
//   -- name of the case
//   <T-SQL batch, one or more lines>
//   ----
//   <expected rows as a|b|c, NULL for null>   or   ok   or   error: <part of the message>
//
// Cases are separated by a blank line after their expectation.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/test_database.h"
#include "veriprog/error.h"
#include "veriprog/recordset.h"

namespace veriprog::db {
namespace {

struct Case {
  std::string name;
  std::string batch;
  std::string expected;
};

std::vector<Case> ReadCases(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::vector<Case> cases;
  std::string line;
  enum { kBetween, kBatch, kExpected } state = kBetween;
  while (std::getline(in, line)) {
    if (state == kBetween) {
      if (line.rfind("-- ", 0) == 0) {
        cases.push_back({line.substr(3), "", ""});
        state = kBatch;
      }
    } else if (state == kBatch) {
      if (line == "----") {
        state = kExpected;
      } else {
        cases.back().batch += (cases.back().batch.empty() ? "" : "\r\n") + line;
      }
    } else if (line.empty()) {
      state = kBetween;
    } else {
      cases.back().expected += line + "\n";
    }
  }
  return cases;
}

std::string Rows(QueryResult result) {
  Recordset rs = Recordset::FromResult(std::move(result), nullptr);
  std::string out;
  for (rs.MoveFirst(); !rs.eof(); rs.MoveNext()) {
    for (std::size_t f = 0; f < rs.fields().size(); ++f) {
      const Variant& v = rs.Get(f);
      out += f ? "|" : "";
      if (v.is_null()) {
        out += "NULL";
      } else {
        // Decimals with their scale: 100.00 stays 100.00.
        out += v.kind() == Variant::Kind::kDecimal ? v.AsDecimal().ToString() : v.ToText();
      }
    }
    out += "\n";
  }
  return out;
}

TEST(Dialect, EveryBatchAnswersAsWritten) {
  VERIPROG_NEED_DATABASE(db);
  const std::filesystem::path folder = std::string(VERIPROG_SOURCE_DIR) + "/tests/dialect";
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() != ".test") continue;
    auto conn = db.Connect();
    for (const Case& c : ReadCases(entry.path())) {
      SCOPED_TRACE(entry.path().filename().string() + ": " + c.name);
      ++count;
      try {
        auto result = conn->Execute(c.batch);
        if (c.expected == "ok\n") continue;
        ASSERT_TRUE(result) << "no rows came back";
        EXPECT_EQ(Rows(std::move(*result)), c.expected);
      } catch (const DbError& e) {
        const std::string want = c.expected.rfind("error: ", 0) == 0
                                     ? c.expected.substr(7, c.expected.size() - 8)
                                     : "(no error)";
        EXPECT_NE(std::string(e.what()).find(want), std::string::npos)
            << "error: " << e.what() << "\nexpected: " << c.expected;
      }
    }
  }
  EXPECT_GT(count, 10);
}

}  // namespace
}  // namespace veriprog::db
