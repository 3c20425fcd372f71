// The C interface to the services over the operations: the dry run, the explanation of an
// account key and the run over every company. Like the rest of the C interface, it turns texts
// into calls and never lets an exception through.
#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "component/c_handles.h"
#include "veriprog/change_set.h"
#include "veriprog/dry_run.h"
#include "veriprog/explain.h"
#include "veriprog/operations.h"
#include "veriprog/run_all.h"
#include "veriprog/veriprog.h"

struct veriprog_explanation {
  veriprog::Explanation x;
};

struct veriprog_batch {
  veriprog::RunAllResult result;
  std::string errore;
};

namespace {

using veriprog::c_api::Refuse;
using veriprog::c_api::RowsOf;

std::optional<std::string> Text(const veriprog::db::Variant& v) {
  if (v.is_empty() || v.is_null()) return std::nullopt;
  return v.ToText();
}

// The run's progress as events of the host's callback.
void Tell(veriprog_event_fn callback, void* context, const veriprog::RunAllProgress& m) {
  using Kind = veriprog::RunAllProgress::Kind;
  if (m.kind == Kind::kNotice) {
    veriprog::c_api::CallbackSink::Send(callback, context, "Notice",
                                        {std::to_string(m.ditta), m.event});
    return;
  }
  if (m.kind != Kind::kUnitStarted && m.kind != Kind::kUnitFinished) return;
  const veriprog::UnitResult& u = *m.units;
  std::vector<std::string> args = {std::to_string(u.ditta), u.period, u.family};
  if (m.kind == Kind::kUnitFinished) args.push_back(veriprog::OutcomeText(u));
  veriprog::c_api::CallbackSink::Send(
      callback, context, m.kind == Kind::kUnitStarted ? "UnitStarted" : "UnitFinished", args);
}

}  // namespace

namespace veriprog::c_api {

int Refuse(veriprog_main* v, StatoEnum stato, const std::string& errore) {
  v->main.SetStato(stato);
  v->main.SetErrore(errore);
  return static_cast<int>(stato);
}

OperationParameters ParametersOf(const veriprog_main& v) {
  const CLSCG_VERIPROGINPUT& in = *v.main.CPInput();
  OperationParameters p;
  p.connection = in.SConnect.ToText();
  p.company = Text(in.Ditta);
  p.fiscal_year = Text(in.Esercizio);
  p.fiscal_seq = Text(in.Progressivo);
  p.year = Text(in.Anno);
  p.branch = Text(in.CodiceSede);
  p.activity_code = Text(in.CodiceAttivita);
  p.activity_id = Text(in.IDAttivita);
  p.by_activity = in.ElaborazionePerAttivita;
  p.include_stored = v.include_stored;
  p.no_transaction = !in.EseguiTransazione;
  return p;
}

}  // namespace veriprog::c_api

extern "C" {

int veriprog_dry_run(veriprog_main* v, const char* operation, veriprog_rows** changes) {
  if (changes != nullptr) *changes = nullptr;
  if (v == nullptr || operation == nullptr) return -1;
  try {
    const veriprog::OperationInfo* op = veriprog::FindOperation(operation);
    if (op == nullptr || !op->rebuild) return -1;
    const veriprog::DryRunResult r = veriprog::DryRun(v->main, *op);
    v->last_result = nullptr;
    if (r.outcome.stato != veriprog::tsOk) return Refuse(v, r.outcome.stato, r.outcome.errore);
    if (changes != nullptr) *changes = RowsOf(veriprog::ChangeRows(r.diffs));
    return VERIPROG_OK;
  } catch (const std::exception& e) {
    return Refuse(v, veriprog::tsProgramError, e.what());
  } catch (...) {
    return VERIPROG_PROGRAM_ERROR;
  }
}

int veriprog_explain(veriprog_main* v, const char* conto, long long tipocf, long long clifor,
                     const char* sede, const char* valuta, veriprog_explanation** out) {
  if (out != nullptr) *out = nullptr;
  if (v == nullptr || !v->main.CPInput()) return VERIPROG_PROGRAM_ERROR;
  try {
    const veriprog::CLSCG_VERIPROGINPUT& in = *v->main.CPInput();
    veriprog::ExplainRequest request{Text(in.Ditta), Text(in.Esercizio), Text(in.Progressivo),
                                     in.SConnect.ToText()};
    request.key = {conto != nullptr ? conto : "", tipocf, clifor, 0};
    if (sede != nullptr) {
      const auto branch = veriprog::db::Variant(sede).ToWholeNumber();
      if (!branch) {
        return Refuse(
            v, veriprog::tsParametriNonValidi,
            std::string("Il parametro CodiceSede deve essere un numero intero (valore: '") + sede +
                "')");
      }
      request.key.sede = *branch;
      request.all_branches = false;
    }
    if (valuta != nullptr) request.valuta = valuta;
    veriprog::ExplainResult r = veriprog::ExplainAccount(in.GConnect, std::move(request));
    if (r.stato != veriprog::tsOk) return Refuse(v, r.stato, r.errore);
    Refuse(v, veriprog::tsOk, "");
    if (out != nullptr) *out = new veriprog_explanation{std::move(*r.explanation)};
    return VERIPROG_OK;
  } catch (const std::exception& e) {
    return Refuse(v, veriprog::tsProgramError, e.what());
  } catch (...) {
    return VERIPROG_PROGRAM_ERROR;
  }
}

veriprog_rows* veriprog_explanation_rows(const veriprog_explanation* x, int which) {
  if (x == nullptr) return nullptr;
  switch (which) {
    case VERIPROG_EXPLAIN_MONTHS:
      return RowsOf(x->x.months);
    case VERIPROG_EXPLAIN_YEAR:
      return RowsOf(x->x.year);
    case VERIPROG_EXPLAIN_LINES:
      return x->x.lines ? RowsOf(*x->x.lines) : nullptr;
    default:
      return nullptr;
  }
}

const char* veriprog_explanation_verdict(const veriprog_explanation* x) {
  return x != nullptr ? x->x.verdict.c_str() : "";
}

int veriprog_explanation_flagged(const veriprog_explanation* x) {
  return x != nullptr ? static_cast<int>(x->x.flagged) : 0;
}

void veriprog_explanation_free(veriprog_explanation* x) {
  delete x;
}

int veriprog_run_all(const char* connection, const char* companies, const char* fiscal_years,
                     const char* families, int jobs, int rebuild, veriprog_event_fn callback,
                     void* context, veriprog_batch** out) {
  veriprog_run_all_options o{};
  o.size = sizeof o;
  o.connection = connection;
  o.companies = companies;
  o.fiscal_years = fiscal_years;
  o.families = families;
  o.jobs = jobs;
  o.rebuild = rebuild;
  return veriprog_run_all_with(&o, callback, context, out);
}

int veriprog_run_all_with(const veriprog_run_all_options* options, veriprog_event_fn callback,
                          void* context, veriprog_batch** out) {
  if (out != nullptr) *out = nullptr;
  if (options == nullptr || options->size < static_cast<int>(sizeof(int))) return -1;
  // A host built before a field was added passes a smaller size: that field keeps its default.
  veriprog_run_all_options given{};
  std::memcpy(&given, options, std::min(sizeof given, static_cast<std::size_t>(options->size)));
  auto text = [](const char* t) { return std::string(t != nullptr ? t : ""); };
  try {
    auto run = std::make_unique<veriprog_batch>();
    veriprog::RunAllOptions o;
    o.connection = text(given.connection);
    o.jobs = given.jobs;
    o.rebuild = given.rebuild != 0;
    o.keep_rows = true;
    o.lock_timeout = veriprog::c_api::WaitBound(given.lock_timeout);
    o.statement_timeout = veriprog::c_api::WaitBound(given.statement_timeout);
    o.report = text(given.report);
    o.retry_failed = text(given.retry_failed);
    std::string error;
    const auto chosen = veriprog::NumberSet::Parse(text(given.companies), "companies", &error);
    const auto years = veriprog::NumberSet::Parse(text(given.fiscal_years), "fiscal years", &error);
    int stato = VERIPROG_OK;
    if (!chosen || !years) {
      run->errore = error;
      stato = VERIPROG_PARAMETRI_NON_VALIDI;
    } else {
      o.companies = *chosen;
      o.fiscal_years = *years;
      for (std::string rest = text(given.families); !rest.empty();) {
        const auto comma = rest.find(',');
        o.families.push_back(rest.substr(0, comma));
        rest = comma == std::string::npos ? "" : rest.substr(comma + 1);
      }
      run->result = veriprog::RunAll(
          o, {[&](const veriprog::RunAllProgress& m) { Tell(callback, context, m); }, {}});
      run->errore = run->result.errore;
      stato = static_cast<int>(run->result.stato);
    }
    if (out != nullptr) *out = run.release();
    return stato;
  } catch (...) {
    return VERIPROG_PROGRAM_ERROR;
  }
}

const char* veriprog_batch_errore(const veriprog_batch* r) {
  return r != nullptr ? r->errore.c_str() : "";
}

veriprog_rows* veriprog_batch_units(const veriprog_batch* r) {
  if (r == nullptr) return nullptr;
  try {
    return RowsOf(veriprog::UnitRows(r->result, true));
  } catch (...) {
    return nullptr;
  }
}

veriprog_rows* veriprog_batch_rows(const veriprog_batch* r, int unit) {
  if (r == nullptr || unit < 0 || unit >= static_cast<int>(r->result.units.size())) return nullptr;
  const auto& rows = r->result.units[static_cast<std::size_t>(unit)].outcome.rows;
  return rows && rows->is_open() ? RowsOf(*rows) : nullptr;
}

void veriprog_batch_free(veriprog_batch* r) {
  delete r;
}

int veriprog_plan(veriprog_main* v, const char* operation, const char* path, long long* changed) {
  if (changed != nullptr) *changed = 0;
  if (v == nullptr || operation == nullptr || path == nullptr) return -1;
  try {
    const veriprog::OperationInfo* op = veriprog::FindOperation(operation);
    if (op == nullptr || !op->rebuild) return -1;
    const veriprog::RecordedRebuild r = veriprog::PlanRebuild(v->main, *op);
    v->last_result = nullptr;
    if (r.outcome.stato != veriprog::tsOk) return Refuse(v, r.outcome.stato, r.outcome.errore);
    std::string error;
    if (!veriprog::SavePlan(r.changes, path, &error))
      return Refuse(v, veriprog::tsProgramError, error + ": no plan was saved");
    if (changed != nullptr) *changed = r.changes.Rows();
    return VERIPROG_OK;
  } catch (const std::exception& e) {
    return Refuse(v, veriprog::tsProgramError, e.what());
  } catch (...) {
    return VERIPROG_PROGRAM_ERROR;
  }
}

int veriprog_apply(veriprog_main* v, const char* operation, const char* path, int* applied) {
  if (applied != nullptr) *applied = 0;
  if (v == nullptr || operation == nullptr || path == nullptr) return -1;
  try {
    const veriprog::OperationInfo* op = veriprog::FindOperation(operation);
    if (op == nullptr || !op->rebuild) return -1;
    std::string error;
    const auto plan = veriprog::LoadPlan(path, &error);
    if (!plan) return Refuse(v, veriprog::tsParametriNonValidi, error);
    const veriprog::RecordedRebuild r = veriprog::RebuildRecorded(v->main, *op, &*plan);
    v->last_result = nullptr;
    if (r.outcome.stato != veriprog::tsOk) return Refuse(v, r.outcome.stato, r.outcome.errore);
    if (!r.committed) return Refuse(v, veriprog::tsOk, "refused: " + r.refusal);
    if (applied != nullptr) *applied = 1;
    return VERIPROG_OK;
  } catch (const std::exception& e) {
    return Refuse(v, veriprog::tsProgramError, e.what());
  } catch (...) {
    return VERIPROG_PROGRAM_ERROR;
  }
}

}  // extern "C"
