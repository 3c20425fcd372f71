// FaultyConnection: forwards every call to a real connection, except that the N-th statement
// (Execute or Query, counted from 1) fails before it reaches the server. With it a test proves
// that a rebuild failing at any step leaves the ledger as it was.
#pragma once

#include <memory>

#include "db/connection.h"
#include "db/error.h"

namespace veriprog::testing {

class FaultyConnection final : public db::Connection {
 public:
  FaultyConnection(std::shared_ptr<db::Connection> inner, int fail_at)
      : inner_(std::move(inner)), fail_at_(fail_at) {}

  int statements() const { return count_; }

  std::optional<db::QueryResult> Execute(std::string_view batch, std::int64_t* rows) override {
    Count();
    return inner_->Execute(batch, rows);
  }
  db::QueryResult Query(std::string_view sql) override {
    Count();
    return inner_->Query(sql);
  }
  void BeginTrans() override { inner_->BeginTrans(); }
  void CommitTrans() override { inner_->CommitTrans(); }
  void RollbackTrans() override { inner_->RollbackTrans(); }
  bool in_transaction() const override { return inner_->in_transaction(); }
  void WriteBack(db::RowTable& table, const db::WriteTarget& target,
                 const std::vector<db::RowId>& rows) override {
    Count();
    inner_->WriteBack(table, target, rows);
  }
  void Lock(std::string_view resource, bool exclusive) override {
    inner_->Lock(resource, exclusive);
  }
  void Unlock(std::string_view resource, bool exclusive) override {
    inner_->Unlock(resource, exclusive);
  }

 private:
  void Count() {
    if (++count_ == fail_at_) throw db::DbError("guasto simulato");
  }
  std::shared_ptr<db::Connection> inner_;
  int fail_at_;
  int count_ = 0;
};

}  // namespace veriprog::testing
