#include "component/rebuild_session.h"

#include <memory>

#include "component/connect.h"
#include "component/journal_fingerprint.h"
#include "frame/ledger_lock.h"

namespace veriprog {
namespace {

// Rolls back what is still open, gives the company's lock back and puts the parameter object as
// it was, whatever ended the session.
class SessionGuard {
 public:
  SessionGuard(CLSCG_VERIPROGINPUT& in, std::shared_ptr<db::Connection> c,
               std::string& rollback_error)
      : in_(in),
        connection_(in.GConnect),
        transaction_(in.EseguiTransazione),
        c_(std::move(c)),
        rollback_error_(rollback_error) {}
  void Locked(std::string resource) { resource_ = std::move(resource); }
  ~SessionGuard() {
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
  SessionGuard(const SessionGuard&) = delete;
  SessionGuard& operator=(const SessionGuard&) = delete;

 private:
  CLSCG_VERIPROGINPUT& in_;
  std::shared_ptr<db::Connection> connection_;
  bool transaction_;
  std::shared_ptr<db::Connection> c_;
  std::string& rollback_error_;
  std::string resource_;
};

std::optional<std::int64_t> Given(const db::Variant& v) {
  if (v.is_empty() || v.is_null() || v.ToText().empty()) return std::nullopt;
  return v.ToWholeNumber();
}

}  // namespace

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

std::string StoredFamily(const OperationInfo& op) {
  const std::string family = op.family;
  return family == "accounts-legacy" || family == "turnover" ? "accounts" : family;
}

ChangeSet ChangeSetHeader(const OperationInfo& op, const CLSCG_VERIPROGINPUT& in,
                          const DryRunScope& scope) {
  ChangeSet c;
  c.operation = op.name;
  c.family = StoredFamily(op);
  c.ditta = scope.ditta;
  c.esercizio = scope.esercizio;
  c.progressivo = scope.progressivo;
  c.anno = scope.anno;
  if (op.reads & kBranch) c.branch = Given(in.CodiceSede);
  if (op.reads & (kActivity | kActivityCode)) {
    c.per_activity = (op.reads & kActivity) ? in.ElaborazionePerAttivita : true;
    c.activity_code = Given(in.CodiceAttivita);
    if (op.reads & kActivity) c.activity = Given(in.IDAttivita);
  }
  return c;
}

RecordedRebuild RunRebuildSession(CLSCG_VERIPROG& main, const OperationInfo& op,
                                  const RebuildSession& session) {
  RecordedRebuild result;
  Outcome& outcome = result.outcome;
  if (!op.rebuild || !main.CPInput()) {
    outcome.stato = tsParametriNonValidi;
    outcome.errore =
        std::string(op.name) + " is not a rebuild: " + session.what + " is a rebuild's";
    return result;
  }
  CLSCG_VERIPROGINPUT& in = *main.CPInput();
  std::shared_ptr<db::Connection> connection = in.GConnect;
  Refusal refused;
  const RunLimits& limits = main.Limits();
  if (!connection &&
      !(connection = ConnectOrRefuse(in.SConnect.ToText(), refused,
                                     {.statement_timeout = limits.statement_timeout}))) {
    outcome.stato = refused.stato;
    outcome.errore = refused.errore;
    outcome.causa = refused.causa;
    return result;
  }
  if (connection->in_transaction()) {
    outcome.stato = tsParametriNonValidi;
    outcome.errore = std::string("the connection is already inside a transaction: ") +
                     session.what + " " + session.ends +
                     " a transaction of its own, and would take the caller's work with it";
    return result;
  }
  try {
    const auto scope = ScopeOf(op, in);
    std::vector<StoredTable> tables;
    if (scope) {
      tables = StoredTablesOf(StoredFamily(op), *scope);
      result.changes = ChangeSetHeader(op, in, *scope);
    }
    std::vector<TableRows> before;
    SessionGuard guard(in, connection, result.rollback_error);
    // The transaction is the session's own: the rebuild runs inside it, neither beginning nor
    // ending one.
    in.GConnect = connection;
    in.EseguiTransazione = false;
    if (scope) {
      // The company's lock, as a rebuild takes it, held from before the first reading to after
      // the end: no other rebuild changes the tables in between.
      const std::string company = std::to_string(scope->ditta);
      const std::string resource = "veriprog ditta " + company;
      WaitForLock(*connection, resource, true, limits, company);
      guard.Locked(resource);
    }
    // Early ends leave the transaction to the guard, which rolls it back.
    auto run = [&] {
      connection->BeginTrans();
      if (scope && session.fingerprint)
        result.changes.fingerprint = JournalFingerprint(*connection, result.changes.family, *scope);
      for (const StoredTable& t : tables)
        before.push_back(ReadTable(*connection, t));
      outcome = RunOperation(main, op);
      if (outcome.stato != tsOk || connection->interrupted()) return;
      for (std::size_t i = 0; i < tables.size(); ++i) {
        result.changes.diffs.push_back(CompareTables(
            tables[i], before[i], ReadTable(*connection, tables[i]), session.all_values));
      }
      if (!session.decide) return;
      result.refusal = session.decide(result.changes);
      if (!result.refusal.empty()) return;
      connection->CommitTrans();
      result.committed = true;
    };
    run();
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
