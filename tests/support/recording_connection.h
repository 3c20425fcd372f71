// RecordingConnection: passes everything on to a real connection and writes down the text of
// every batch and query it is asked to run, and, when asked, each write-back as
// "-- UpdateBatch <table>: <n> row(s)" (the table as libpq names it, whatever the backend).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "db/connection_wrapper.h"

namespace veriprog::testing {

class RecordingConnection final : public db::ConnectionWrapper {
 public:
  explicit RecordingConnection(std::shared_ptr<db::Connection> inner, bool write_backs = false)
      : ConnectionWrapper(std::move(inner)), write_backs_(write_backs) {}
  std::vector<std::string> batches;

  std::optional<db::QueryResult> Execute(std::string_view batch, std::int64_t* rows) override {
    batches.emplace_back(batch);
    return ConnectionWrapper::Execute(batch, rows);
  }
  db::QueryResult Query(std::string_view sql) override {
    batches.emplace_back(sql);
    return ConnectionWrapper::Query(sql);
  }
  void WriteBack(db::RowTable& table, const db::WriteTarget& target,
                 const std::vector<db::RowId>& rows) override {
    if (write_backs_) {
      std::string name;  // the ODBC backend quotes the parts of the name
      for (char c : target.table) {
        if (c != '"' && c != '[' && c != ']') name.push_back(c);
      }
      batches.push_back("-- UpdateBatch " + name + ": " + std::to_string(rows.size()) + " row(s)");
    }
    ConnectionWrapper::WriteBack(table, target, rows);
  }

 private:
  bool write_backs_;
};

}  // namespace veriprog::testing
