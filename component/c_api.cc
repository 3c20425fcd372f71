// The C interface: a thin layer over CLSCG_VERIPROG that turns names into calls and never lets
// an exception through.
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "component/c_handles.h"
#include "veriprog/main_object.h"
#include "veriprog/operations.h"
#include "veriprog/recordset.h"
#include "veriprog/vat_comparison.h"
#include "veriprog/veriprog.h"

namespace {

using veriprog::CLSCG_VERIPROG;
using veriprog::CLSCG_VERIPROGINPUT;
using veriprog::CLSCG_VERIPROGOUTPUT;
using veriprog::c_api::RowsOf;
using veriprog::db::Variant;

}  // namespace

veriprog_rows* veriprog::c_api::RowsOf(const db::Recordset& rs) noexcept {
  try {
    auto rows = std::make_unique<veriprog_rows>(veriprog_rows{rs.Clone()});
    for (const auto& f : rows->rs.fields())
      rows->names.push_back(f.name);
    return rows.release();
  } catch (...) {
    return nullptr;
  }
}

extern "C" {

veriprog_main* veriprog_create(void) {
  try {
    auto* v = new veriprog_main;
    v->main.Advise(v->sink);
    return v;
  } catch (...) {
    return nullptr;
  }
}

void veriprog_destroy(veriprog_main* v) {
  delete v;
}

int veriprog_set_text(veriprog_main* v, const char* field, const char* value) {
  if (v == nullptr || field == nullptr || !v->main.CPInput()) return -1;
  try {
    CLSCG_VERIPROGINPUT& in = *v->main.CPInput();
    const Variant text = value != nullptr ? Variant(value) : Variant();
    const veriprog::InputTextField* f = veriprog::FindInputTextField(field);
    if (f == nullptr) return -1;
    in.*(f->field) = text;
    return 0;
  } catch (...) {
    return -1;
  }
}

int veriprog_set_int(veriprog_main* v, const char* field, int value) {
  if (v == nullptr || field == nullptr || !v->main.CPInput()) return -1;
  CLSCG_VERIPROGINPUT& in = *v->main.CPInput();
  const std::string name = field;
  if (name == "EseguiTransazione") {
    in.EseguiTransazione = value != 0;
  } else if (name == "ElaborazionePerAttivita") {
    in.ElaborazionePerAttivita = value != 0;
  } else if (name == "IndicatoreTipoContabilita") {
    in.IndicatoreTipoContabilita = value;
  } else if (name == "IncludiRecordDeiProgressivi") {
    v->include_stored = value != 0;
  } else {
    return -1;
  }
  return 0;
}

int veriprog_run(veriprog_main* v, const char* operation) {
  if (v == nullptr || operation == nullptr) return -1;
  try {
    const veriprog::OperationInfo* op = veriprog::FindOperation(operation);
    if (op == nullptr) return -1;
    op->run(v->main, v->include_stored);
    v->last_result = op->result;
    return static_cast<int>(v->main.Stato());
  } catch (...) {
    return VERIPROG_PROGRAM_ERROR;  // operations never throw; this only keeps a promise
  }
}

int veriprog_set_limits(veriprog_main* v, double lock_timeout, double statement_timeout) {
  if (v == nullptr) return -1;
  auto sink = v->sink;
  v->main.SetLimits({veriprog::c_api::WaitBound(lock_timeout),
                     veriprog::c_api::WaitBound(statement_timeout),
                     [sink](const std::string& what) {
                       veriprog::c_api::CallbackSink::Send(sink->callback, sink->context,
                                                           "WaitingForLock", {what});
                     }});
  return 0;
}

int veriprog_stato(const veriprog_main* v) {
  return v != nullptr ? static_cast<int>(v->main.Stato()) : VERIPROG_PROGRAM_ERROR;
}

const char* veriprog_errore(const veriprog_main* v) {
  return v != nullptr ? v->main.Errore().c_str() : "";
}

void veriprog_on_event(veriprog_main* v, veriprog_event_fn callback, void* context) {
  if (v == nullptr) return;
  v->sink->callback = callback;
  v->sink->context = context;
}

veriprog_rows* veriprog_result(veriprog_main* v) {
  if (v == nullptr || v->last_result == nullptr || !v->main.CPOutput()) return nullptr;
  try {
    const auto& rs = (*v->main.CPOutput()).*(v->last_result);
    if (!rs || !rs->is_open()) return nullptr;
    return RowsOf(*rs);
  } catch (...) {
    return nullptr;
  }
}

veriprog_rows* veriprog_vat_comparison(veriprog_main* v) {
  if (v == nullptr || !v->main.CPOutput()) return nullptr;
  try {
    const auto& rs = v->main.CPOutput()->RecSetControlloProgressiviIVA;
    if (v->last_result != &CLSCG_VERIPROGOUTPUT::RecSetControlloProgressiviIVA || !rs ||
        !rs->is_open())
      return nullptr;
    veriprog::db::Recordset copy = rs->Clone();
    auto compared = veriprog::CompareVatTotals(copy);
    if (!compared) return nullptr;
    return RowsOf(*compared);
  } catch (...) {
    return nullptr;
  }
}

int veriprog_rows_count(const veriprog_rows* r) {
  return r != nullptr ? static_cast<int>(r->rs.RecordCount()) : 0;
}

int veriprog_rows_fields(const veriprog_rows* r) {
  return r != nullptr ? static_cast<int>(r->names.size()) : 0;
}

const char* veriprog_rows_field_name(const veriprog_rows* r, int field) {
  if (r == nullptr || field < 0 || field >= static_cast<int>(r->names.size())) return nullptr;
  return r->names[static_cast<std::size_t>(field)].c_str();
}

int veriprog_rows_next(veriprog_rows* r) {
  if (r == nullptr) return 0;
  try {
    if (!r->started) {
      r->started = true;
      r->rs.MoveFirst();
    } else if (!r->rs.eof()) {
      r->rs.MoveNext();
    }
    return r->rs.eof() ? 0 : 1;
  } catch (...) {
    return 0;
  }
}

const char* veriprog_rows_get(veriprog_rows* r, int field) {
  if (r == nullptr || !r->started || r->rs.eof() || field < 0 ||
      field >= static_cast<int>(r->names.size())) {
    return nullptr;
  }
  try {
    const Variant& value = r->rs.Get(static_cast<std::size_t>(field));
    if (!value.has_value()) return nullptr;
    r->cell =
        value.kind() == Variant::Kind::kDecimal ? value.AsDecimal().ToString() : value.ToText();
    return r->cell.c_str();
  } catch (...) {
    return nullptr;
  }
}

void veriprog_rows_free(veriprog_rows* r) {
  delete r;
}

}  // extern "C"
