// The C interface: a thin layer over CLSCG_VERIPROG that turns names into calls and never lets
// an exception through.
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "veriprog/main_object.h"
#include "veriprog/operations.h"
#include "veriprog/recordset.h"
#include "veriprog/vat_comparison.h"
#include "veriprog/veriprog.h"

namespace {

using veriprog::CLSCG_VERIPROG;
using veriprog::CLSCG_VERIPROGINPUT;
using veriprog::CLSCG_VERIPROGOUTPUT;
using veriprog::db::Variant;

// Forwards every event to the host's callback with its name and its arguments as texts.
class CallbackSink final : public veriprog::VeriprogEvents {
 public:
  veriprog_event_fn callback = nullptr;
  void* context = nullptr;

#define VERIPROG_C_EVENT0(Name) \
  void Name() override {        \
    Send(#Name, {});            \
  }
#define VERIPROG_C_EVENT1(Name)    \
  void Name(Variant& a) override { \
    Send(#Name, {&a});             \
  }
#define VERIPROG_C_EVENT2(Name)                \
  void Name(Variant& a, Variant& b) override { \
    Send(#Name, {&a, &b});                     \
  }
#define VERIPROG_C_CHECK(Op)         \
  VERIPROG_C_EVENT1(Begin##Op)       \
  VERIPROG_C_EVENT1(Avanzamento##Op) \
  VERIPROG_C_EVENT0(End##Op)
#define VERIPROG_C_REBUILD(Op)    \
  VERIPROG_C_EVENT1(Begin##Op)    \
  VERIPROG_C_EVENT2(Processo##Op) \
  VERIPROG_C_EVENT0(End##Op)
#define VERIPROG_C_STEP(Op)                  \
  VERIPROG_C_EVENT1(BeginProcesso##Op)       \
  VERIPROG_C_EVENT1(AvanzamentoProcesso##Op) \
  VERIPROG_C_EVENT0(EndProcesso##Op)

  VERIPROG_C_CHECK(ControlloProgressiviContabili)
  VERIPROG_C_REBUILD(AzzeraAggiornaProgressiviContabili)
  VERIPROG_C_STEP(AzzeraAggiornaProgressiviContabili)
  VERIPROG_C_REBUILD(AzzeraAggiornaFatturatoImportoIVA)
  VERIPROG_C_STEP(AzzeraAggiornaFatturatoImportoIVA)
  VERIPROG_C_REBUILD(AzzeraAggiornaProgressiviIVA)
  VERIPROG_C_STEP(AzzeraAggiornaProgressiviIVA)
  VERIPROG_C_CHECK(ControlloProgressiviIVA)
  VERIPROG_C_CHECK(ControlloProgressiviPlafond)
  VERIPROG_C_REBUILD(AzzeraAggiornaProgressiviPlafond)
  VERIPROG_C_CHECK(ControlloProgressiviRegimeMargine)
  VERIPROG_C_REBUILD(AzzeraAggiornaProgressiviRegimeMargine)
  VERIPROG_C_CHECK(ControlloProgressiviAgricoltura)
  VERIPROG_C_REBUILD(AzzeraAggiornaProgressiviAgricoltura)
  VERIPROG_C_CHECK(ControlloProgressiviAgenzieViaggio)
  VERIPROG_C_REBUILD(AzzeraAggiornaProgressiviAgenzieViaggio)

#undef VERIPROG_C_EVENT0
#undef VERIPROG_C_EVENT1
#undef VERIPROG_C_EVENT2
#undef VERIPROG_C_CHECK
#undef VERIPROG_C_REBUILD
#undef VERIPROG_C_STEP

 private:
  void Send(const char* name, std::initializer_list<const Variant*> args) {
    if (callback == nullptr) return;
    std::vector<std::string> texts;
    for (const Variant* a : args)
      texts.push_back(a->ToText());
    std::vector<const char*> argv;
    for (const auto& t : texts)
      argv.push_back(t.c_str());
    callback(context, name, static_cast<int>(argv.size()), argv.data());
  }
};

using Slot = std::shared_ptr<veriprog::db::Recordset> CLSCG_VERIPROGOUTPUT::*;

}  // namespace

struct veriprog_main {
  CLSCG_VERIPROG main;
  std::shared_ptr<CallbackSink> sink = std::make_shared<CallbackSink>();
  bool include_stored = false;
  Slot last_result = nullptr;
};

struct veriprog_rows {
  veriprog::db::Recordset rs;
  bool started = false;
  std::vector<std::string> names = {};
  std::string cell = {};
};

namespace {

// The host's own copy of a record set's rows, freed with veriprog_rows_free.
veriprog_rows* RowsOf(const veriprog::db::Recordset& rs) {
  auto rows = std::make_unique<veriprog_rows>(veriprog_rows{rs.Clone()});
  for (const auto& f : rows->rs.fields())
    rows->names.push_back(f.name);
  return rows.release();
}

}  // namespace

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
