#include "veriprog/dry_run.h"

#include <memory>

#include "component/connect.h"
#include "component/stored_tables.h"

namespace veriprog {
namespace {

// The scope of the rebuild, when every parameter it needs holds a whole number; nullopt
// otherwise, and the rebuild then refuses its parameters itself.
std::optional<DryRunScope> ScopeOf(const OperationInfo& op, const CLSCG_VERIPROGINPUT& in) {
  DryRunScope s;
  const auto ditta = in.Ditta.ToWholeNumber();
  if (!ditta) return std::nullopt;
  s.ditta = *ditta;
  if (op.reads & kFiscalYear) {
    const auto e = in.Esercizio.ToWholeNumber(), p = in.Progressivo.ToWholeNumber();
    if (!e || !p) return std::nullopt;
    s.esercizio = *e;
    s.progressivo = *p;
  } else {
    const auto y = in.Anno.ToWholeNumber();
    if (!y) return std::nullopt;
    s.anno = *y;
  }
  return s;
}

// The account rebuilds (the earlier way and the turnover too) write the account totals.
std::string Family(const OperationInfo& op) {
  const std::string family = op.family;
  return family == "accounts-legacy" || family == "turnover" ? "accounts" : family;
}

// Rolls back the dry run's transaction, gives the company's lock back and puts the parameter
// object as it was, whatever ended it.
class Undo {
 public:
  Undo(CLSCG_VERIPROGINPUT& in, std::shared_ptr<db::Connection> c, std::string& rollback_error)
      : in_(in),
        connection_(in.GConnect),
        transaction_(in.EseguiTransazione),
        c_(std::move(c)),
        rollback_error_(rollback_error) {}
  void Locked(std::string resource) { resource_ = std::move(resource); }
  ~Undo() {
    try {
      if (c_->in_transaction()) c_->RollbackTrans();
    } catch (const std::exception& e) {
      rollback_error_ = e.what();
    }
    try {
      if (!resource_.empty()) c_->Unlock(resource_, true);
    } catch (...) {
      // The session ends with its connection, and its locks with it.
    }
    in_.GConnect = connection_;
    in_.EseguiTransazione = transaction_;
  }
  Undo(const Undo&) = delete;
  Undo& operator=(const Undo&) = delete;

 private:
  CLSCG_VERIPROGINPUT& in_;
  std::shared_ptr<db::Connection> connection_;
  bool transaction_;
  std::shared_ptr<db::Connection> c_;
  std::string& rollback_error_;
  std::string resource_;
};

// Compares the tables read before with the same tables now.
std::vector<TableDiff> Diffs(db::Connection& c, const std::vector<StoredTable>& tables,
                             const std::vector<TableRows>& before) {
  std::vector<TableDiff> diffs;
  for (std::size_t i = 0; i < tables.size(); ++i)
    diffs.push_back(CompareTables(tables[i], before[i], ReadTable(c, tables[i])));
  return diffs;
}

}  // namespace

std::int64_t DryRunResult::Changed() const {
  std::int64_t n = 0;
  for (const TableDiff& d : diffs)
    n += d.inserted + d.updated + d.deleted;
  return n;
}

std::int64_t DryRunResult::Rows() const {
  std::int64_t n = 0;
  for (const TableDiff& d : diffs)
    n += d.inserted + d.updated + d.deleted + d.unchanged;
  return n;
}

DryRunResult DryRun(CLSCG_VERIPROG& main, const OperationInfo& op) {
  DryRunResult result;
  Outcome& outcome = result.outcome;
  if (!op.rebuild || !main.CPInput()) {
    outcome.stato = tsParametriNonValidi;
    outcome.errore = std::string(op.name) + " is not a rebuild: a dry run is a rebuild's";
    return result;
  }
  CLSCG_VERIPROGINPUT& in = *main.CPInput();
  std::shared_ptr<db::Connection> connection = in.GConnect;
  Refusal refused;
  if (!connection && !(connection = ConnectOrRefuse(in.SConnect.ToText(), refused))) {
    outcome.stato = refused.stato;
    outcome.errore = refused.errore;
    outcome.causa = refused.causa;
    return result;
  }
  if (connection->in_transaction()) {
    outcome.stato = tsParametriNonValidi;
    outcome.errore =
        "the connection is already inside a transaction: a dry run rolls back a transaction of "
        "its own, and would take the caller's work with it";
    return result;
  }
  try {
    const auto scope = ScopeOf(op, in);
    std::vector<StoredTable> tables;
    if (scope) tables = StoredTablesOf(Family(op), *scope);
    std::vector<TableRows> before;
    Undo undo(in, connection, result.rollback_error);
    // The transaction is the dry run's own: the rebuild runs inside it, neither beginning nor
    // ending one, and everything it wrote goes with the rollback.
    in.GConnect = connection;
    in.EseguiTransazione = false;
    if (scope) {
      // The company's lock, as a rebuild takes it, held from before the first reading to after
      // the rollback: no other rebuild changes the tables in between.
      const std::string resource = "veriprog ditta " + std::to_string(scope->ditta);
      connection->Lock(resource, true);
      undo.Locked(resource);
    }
    connection->BeginTrans();
    for (const StoredTable& t : tables)
      before.push_back(ReadTable(*connection, t));
    outcome = RunOperation(main, op);
    if (outcome.stato == tsOk && !connection->interrupted())
      result.diffs = Diffs(*connection, tables, before);
  } catch (const std::exception& e) {
    // The rebuild's own failure, when it had one, is the one to report.
    if (outcome.stato == tsOk) {
      outcome.stato = tsProgramError;
      outcome.errore = e.what();
    }
  }
  return result;
}

}  // namespace veriprog
