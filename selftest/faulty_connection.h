// FaultyConnection: forwards every call to a real connection, except that the N-th statement
// (Execute, Query or WriteBack, counted from 1) fails before it reaches the server, or, with a
// drop hook, goes to a server that the hook has just cut the connection from. With it the
// self-test and the tests prove that a rebuild failing at any step leaves the ledger as it was;
// with no N it only counts.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "db/connection_wrapper.h"
#include "veriprog/error.h"

namespace veriprog::selftest {

// The words of the fault a FaultyConnection makes.
inline constexpr char kClientFault[] = "guasto simulato";

class FaultyConnection final : public db::ConnectionWrapper {
 public:
  FaultyConnection(std::shared_ptr<db::Connection> inner, int fail_at = 0,
                   std::function<void()> drop = nullptr)
      : ConnectionWrapper(std::move(inner)), fail_at_(fail_at), drop_(std::move(drop)) {}

  int statements() const { return count_; }
  // The text of the statement made to fail ("(write-back)" for a write-back).
  const std::string& failed() const { return failed_; }

  std::optional<db::QueryResult> Execute(std::string_view batch, std::int64_t* rows) override {
    Count(batch);
    return ConnectionWrapper::Execute(batch, rows);
  }
  db::QueryResult Query(std::string_view sql) override {
    Count(sql);
    return ConnectionWrapper::Query(sql);
  }
  void WriteBack(db::RowTable& table, const db::WriteTarget& target,
                 const std::vector<db::RowId>& rows) override {
    Count("(write-back)");
    ConnectionWrapper::WriteBack(table, target, rows);
  }

 private:
  void Count(std::string_view text) {
    if (++count_ != fail_at_) return;
    failed_ = std::string(text);
    if (!drop_) throw db::DbError(kClientFault);
    drop_();  // the statement then meets a connection the server has ended
  }
  int fail_at_;
  std::function<void()> drop_;
  std::string failed_;
  int count_ = 0;
};

}  // namespace veriprog::selftest
