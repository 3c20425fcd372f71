// ConnectionWrapper: a Connection that forwards every call to another one. A test or a tool
// derives from it and overrides only what it watches or changes (a connection that fails the
// N-th statement, one that records what it is sent, one that counts), the rest passing through.
#pragma once

#include <memory>
#include <utility>

#include "veriprog/connection.h"

namespace veriprog::db {

class ConnectionWrapper : public Connection {
 public:
  explicit ConnectionWrapper(std::shared_ptr<Connection> inner) : inner_(std::move(inner)) {}

  std::optional<QueryResult> Execute(std::string_view batch,
                                     std::int64_t* rows_affected = nullptr) override {
    return inner_->Execute(batch, rows_affected);
  }
  QueryResult Query(std::string_view sql) override { return inner_->Query(sql); }
  void BeginTrans() override { inner_->BeginTrans(); }
  void CommitTrans() override { inner_->CommitTrans(); }
  void RollbackTrans() override { inner_->RollbackTrans(); }
  bool in_transaction() const override { return inner_->in_transaction(); }
  void WriteBack(RowTable& table, const WriteTarget& target,
                 const std::vector<RowId>& rows) override {
    inner_->WriteBack(table, target, rows);
  }
  void Lock(std::string_view resource, bool exclusive) override {
    inner_->Lock(resource, exclusive);
  }
  bool TryLock(std::string_view resource, bool exclusive) override {
    return inner_->TryLock(resource, exclusive);
  }
  void Unlock(std::string_view resource, bool exclusive) override {
    inner_->Unlock(resource, exclusive);
  }

  Connection& inner() const { return *inner_; }

 protected:
  void CancelRunning() noexcept override { inner_->Interrupt(); }

 private:
  std::shared_ptr<Connection> inner_;
};

}  // namespace veriprog::db
