// Stand-ins for the database and the outside components, for tests of the frame without a
// server: a connection that records what it is asked and can be told to fail, a company
// factory that counts its creations, and an event sink that writes down what it hears.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "veriprog/connection.h"
#include "veriprog/error.h"
#include "veriprog/main_object.h"
#include "veriprog/services.h"

namespace veriprog::testing {

class FakeConnection final : public db::Connection {
 public:
  std::vector<std::string> batches;
  int begins = 0, commits = 0, rollbacks = 0;
  std::string fail_with;  // when set, Execute throws this text
  // Rows for the statements a test cares to answer; nullopt: no rows.
  std::function<std::optional<db::QueryResult>(std::string_view)> answer;

  std::optional<db::QueryResult> Execute(std::string_view batch, std::int64_t* rows) override {
    batches.emplace_back(batch);
    if (rows != nullptr) *rows = 0;
    if (!fail_with.empty()) throw db::DbError(fail_with);
    return answer ? answer(batch) : std::nullopt;
  }
  db::QueryResult Query(std::string_view sql) override {
    if (auto result = Execute(sql, nullptr)) return std::move(*result);
    throw db::DbError("no rows in the fake");
  }
  void BeginTrans() override {
    if (open_) throw db::DbError("already open");
    open_ = true;
    ++begins;
  }
  void CommitTrans() override {
    open_ = false;
    ++commits;
  }
  void RollbackTrans() override {
    open_ = false;
    ++rollbacks;
  }
  bool in_transaction() const override { return open_; }
  void WriteBack(db::RowTable&, const db::WriteTarget&, const std::vector<db::RowId>&) override {}

 private:
  bool open_ = false;
};

// Company objects with fixed data; counts factories made and objects asked for.
struct FakeCompany {
  int factories = 0;
  int objects = 0;
  bool fail = false;
  db::Variant group = 7;
  db::Variant code = "PDC";
  // The fiscal year the fake reader hands out; Null start means "not found".
  db::Variant fiscal_start = *db::DateTime::FromParts(2024, 1, 1);
  db::Variant fiscal_end = *db::DateTime::FromParts(2024, 12, 31);
  // VAT sections (kind 5) and the summary VAT register (kind 6).
  db::Variant vat_sections = 0;
  db::Variant sections_from = db::Variant::Null();
  db::Variant last_summary_print = db::Variant::Null();
};
outside::OutsideComponents FakeOutside(std::shared_ptr<FakeCompany> company);

// Writes each event as "Name(arg,arg)".
class EventLog final : public VeriprogEvents {
 public:
  std::vector<std::string> lines;
  void BeginControlloProgressiviContabili(db::Variant& m) override { Add("Begin", {m}); }
  void AvanzamentoControlloProgressiviContabili(db::Variant& s) override {
    Add("Avanzamento", {s});
  }
  void EndControlloProgressiviContabili() override { Add("End", {}); }
  void BeginAzzeraAggiornaProgressiviContabili(db::Variant& n) override { Add("Begin", {n}); }
  void ProcessoAzzeraAggiornaProgressiviContabili(db::Variant& n, db::Variant& d) override {
    Add("Processo", {n, d});
  }
  void EndAzzeraAggiornaProgressiviContabili() override { Add("End", {}); }
  void BeginProcessoAzzeraAggiornaProgressiviContabili(db::Variant& m) override {
    Add("BeginProcesso", {m});
  }
  void AvanzamentoProcessoAzzeraAggiornaProgressiviContabili(db::Variant& s) override {
    Add("AvanzamentoProcesso", {s});
  }
  void EndProcessoAzzeraAggiornaProgressiviContabili() override { Add("EndProcesso", {}); }
  void BeginAzzeraAggiornaFatturatoImportoIVA(db::Variant& n) override { Add("Begin", {n}); }
  void ProcessoAzzeraAggiornaFatturatoImportoIVA(db::Variant& n, db::Variant& d) override {
    Add("Processo", {n, d});
  }
  void EndAzzeraAggiornaFatturatoImportoIVA() override { Add("End", {}); }
  void BeginProcessoAzzeraAggiornaFatturatoImportoIVA(db::Variant& m) override {
    Add("BeginProcesso", {m});
  }
  void AvanzamentoProcessoAzzeraAggiornaFatturatoImportoIVA(db::Variant& s) override {
    Add("AvanzamentoProcesso", {s});
  }
  void EndProcessoAzzeraAggiornaFatturatoImportoIVA() override { Add("EndProcesso", {}); }

  // The monthly VAT totals, each event under its own name.
#define VERIPROG_LOG_CHECK(Op)                    \
  void Begin##Op(db::Variant& m) override {       \
    Add("Begin" #Op, {m});                        \
  }                                               \
  void Avanzamento##Op(db::Variant& s) override { \
    Add("Avanzamento" #Op, {s});                  \
  }                                               \
  void End##Op() override {                       \
    Add("End" #Op, {});                           \
  }
#define VERIPROG_LOG_REBUILD(Op)                               \
  void Begin##Op(db::Variant& n) override {                    \
    Add("Begin" #Op, {n});                                     \
  }                                                            \
  void Processo##Op(db::Variant& n, db::Variant& d) override { \
    Add("Processo" #Op, {n, d});                               \
  }                                                            \
  void End##Op() override {                                    \
    Add("End" #Op, {});                                        \
  }
  VERIPROG_LOG_CHECK(ControlloProgressiviPlafond)
  VERIPROG_LOG_REBUILD(AzzeraAggiornaProgressiviPlafond)
  VERIPROG_LOG_CHECK(ControlloProgressiviRegimeMargine)
  VERIPROG_LOG_REBUILD(AzzeraAggiornaProgressiviRegimeMargine)
  VERIPROG_LOG_CHECK(ControlloProgressiviAgricoltura)
  VERIPROG_LOG_REBUILD(AzzeraAggiornaProgressiviAgricoltura)
  VERIPROG_LOG_CHECK(ControlloProgressiviAgenzieViaggio)
  VERIPROG_LOG_REBUILD(AzzeraAggiornaProgressiviAgenzieViaggio)
#undef VERIPROG_LOG_CHECK
#undef VERIPROG_LOG_REBUILD

  void EndControlloProgressiviIVA() override {
    Add("EndControlloProgressiviIVA", {});
  }
  void BeginAzzeraAggiornaProgressiviIVA(db::Variant& n) override {
    Add("Begin", {n});
  }
  void ProcessoAzzeraAggiornaProgressiviIVA(db::Variant& n, db::Variant& d) override {
    Add("Processo", {n, d});
  }
  void EndAzzeraAggiornaProgressiviIVA() override {
    Add("End", {});
  }
  void BeginProcessoAzzeraAggiornaProgressiviIVA(db::Variant& m) override {
    Add("BeginProcesso", {m});
  }
  void AvanzamentoProcessoAzzeraAggiornaProgressiviIVA(db::Variant& s) override {
    Add("AvanzamentoProcesso", {s});
  }
  void EndProcessoAzzeraAggiornaProgressiviIVA() override {
    Add("EndProcesso", {});
  }
  std::string Joined() const {
    std::string out;
    for (const auto& l : lines)
      out += l + "\n";
    return out;
  }

 private:
  void Add(const char* name, std::vector<db::Variant> args) {
    std::string line = std::string(name) + "(";
    for (std::size_t i = 0; i < args.size(); ++i)
      line += (i ? "," : "") + args[i].ToText();
    lines.push_back(line + ")");
  }
};

// A main object on a test ledger, its events written down. A fiscal-year family's: company
// `ditta`, fiscal year `esercizio`, sequence 1, in a transaction.
struct FiscalYearMain {
  std::shared_ptr<EventLog> events = std::make_shared<EventLog>();
  CLSCG_VERIPROG main;

  explicit FiscalYearMain(std::shared_ptr<db::Connection> conn, int ditta = 1,
                          int esercizio = 2024) {
    main.CPInput()->GConnect = std::move(conn);
    main.CPInput()->Ditta = ditta;
    main.CPInput()->Esercizio = esercizio;
    main.CPInput()->Progressivo = 1;
    main.CPInput()->EseguiTransazione = true;
    main.Advise(events);
  }
};

// A calendar-year family's: company 1, 2024, per activity or not, with the fake company object.
struct YearMain {
  std::shared_ptr<EventLog> events = std::make_shared<EventLog>();
  CLSCG_VERIPROG main{FakeOutside(std::make_shared<FakeCompany>())};

  explicit YearMain(std::shared_ptr<db::Connection> conn, bool per_attivita = false,
                    db::Variant codice = {}, db::Variant id = {}) {
    auto& in = *main.CPInput();
    in.GConnect = std::move(conn);
    in.Ditta = 1;
    in.Anno = 2024;
    in.ElaborazionePerAttivita = per_attivita;
    in.CodiceAttivita = std::move(codice);
    in.IDAttivita = std::move(id);
    in.EseguiTransazione = true;
    main.Advise(events);
  }
};

}  // namespace veriprog::testing
