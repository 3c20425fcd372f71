// The T-SQL dialect as data: each file of tests/dialect/ holds batches exactly as the component
// sends them, each followed by what the database must answer (its rows, "ok", or an error). The
// batches of one file run in order on one connection, so temporary tables and rows carry over.
//
//   -- name of the case
//   <T-SQL batch, one or more lines>
//   ----
//   <expected rows as a|b|c, NULL for null>   or   ok   or   error: <part of the message>
//
// Cases are separated by a blank line after their expectation. Each case is a test of its own
// (Dialect_<file>.<number>_<name>).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
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

// What the batch answered, against what the case expects: empty when they agree.
std::string Mismatch(Connection& conn, const Case& c) {
  try {
    auto result = conn.Execute(c.batch);
    if (c.expected == "ok\n") return "";
    if (!result) return "no rows came back";
    const std::string rows = Rows(std::move(*result));
    return rows == c.expected ? "" : "rows:\n" + rows + "expected:\n" + c.expected;
  } catch (const DbError& e) {
    const std::string want = c.expected.rfind("error: ", 0) == 0
                                 ? c.expected.substr(7, c.expected.size() - 8)
                                 : "(no error)";
    if (std::string(e.what()).find(want) != std::string::npos) return "";
    return "error: " + std::string(e.what()) + "\nexpected: " + c.expected;
  }
}

// One case of a file: the cases before it run first, in order, on the same connection (they
// leave the temporary tables and rows it reads); when one of them answers otherwise, this case
// is skipped and the earlier one's own test reports it.
class DialectCase : public ::testing::Test {
 public:
  DialectCase(std::vector<Case> cases, std::size_t index)
      : cases_(std::move(cases)), index_(index) {}

  void TestBody() override {
    VERIPROG_NEED_DATABASE(db);
    auto conn = db.Connect();
    for (std::size_t i = 0; i < index_; ++i) {
      if (!Mismatch(*conn, cases_[i]).empty())
        GTEST_SKIP() << "an earlier case of the file answers otherwise: " << cases_[i].name;
    }
    const std::string mismatch = Mismatch(*conn, cases_[index_]);
    EXPECT_TRUE(mismatch.empty()) << cases_[index_].name << "\n" << mismatch;
  }

 private:
  std::vector<Case> cases_;
  std::size_t index_;
};

std::string TestName(std::size_t index, const std::string& name) {
  std::string out = (index < 9 ? "0" : "") + std::to_string(index + 1) + "_";
  for (char ch : name) {
    const bool word = std::isalnum(static_cast<unsigned char>(ch)) != 0;
    if (word)
      out += ch;
    else if (out.back() != '_')
      out += '_';
    if (out.size() >= 60) break;
  }
  while (out.back() == '_')
    out.pop_back();
  return out;
}

// Every case of every file its own test, registered before the tests are listed or run.
const bool registered = [] {
  const std::filesystem::path folder = std::string(VERIPROG_SOURCE_DIR) + "/tests/dialect";
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (entry.path().extension() == ".test") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  for (const auto& file : files) {
    const std::vector<Case> cases = ReadCases(file);
    const std::string suite = "Dialect_" + file.stem().string();
    for (std::size_t i = 0; i < cases.size(); ++i) {
      ::testing::RegisterTest(suite.c_str(), TestName(i, cases[i].name).c_str(), nullptr, nullptr,
                              file.string().c_str(), 1, [cases, i]() -> ::testing::Test* {
                                return new DialectCase(cases, i);
                              });
    }
  }
  return true;
}();

}  // namespace
}  // namespace veriprog::db
