// Every event of the main object as one call with its name ("BeginControlloProgressiviContabili",
// ...) and its arguments: for hosts that forward events elsewhere (a C callback, another thread)
// rather than handle each one.
#pragma once

#include <initializer_list>

#include "veriprog/events.h"

namespace veriprog {

class NamedEvents : public VeriprogEvents {
 public:
  // The arguments are the event's own Variants, valid for the call only.
  virtual void OnEvent(const char* name, std::initializer_list<db::Variant*> args) = 0;

#define VERIPROG_NAMED0(Name) \
  void Name() override {      \
    OnEvent(#Name, {});       \
  }
#define VERIPROG_NAMED1(Name)          \
  void Name(db::Variant& a) override { \
    OnEvent(#Name, {&a});              \
  }
#define VERIPROG_NAMED2(Name)                          \
  void Name(db::Variant& a, db::Variant& b) override { \
    OnEvent(#Name, {&a, &b});                          \
  }
#define VERIPROG_NAMED_CHECK(Op)   \
  VERIPROG_NAMED1(Begin##Op)       \
  VERIPROG_NAMED1(Avanzamento##Op) \
  VERIPROG_NAMED0(End##Op)
#define VERIPROG_NAMED_REBUILD(Op) \
  VERIPROG_NAMED1(Begin##Op)       \
  VERIPROG_NAMED2(Processo##Op)    \
  VERIPROG_NAMED0(End##Op)
#define VERIPROG_NAMED_STEP(Op)            \
  VERIPROG_NAMED1(BeginProcesso##Op)       \
  VERIPROG_NAMED1(AvanzamentoProcesso##Op) \
  VERIPROG_NAMED0(EndProcesso##Op)

  VERIPROG_NAMED_CHECK(ControlloProgressiviContabili)
  VERIPROG_NAMED_REBUILD(AzzeraAggiornaProgressiviContabili)
  VERIPROG_NAMED_STEP(AzzeraAggiornaProgressiviContabili)
  VERIPROG_NAMED_REBUILD(AzzeraAggiornaFatturatoImportoIVA)
  VERIPROG_NAMED_STEP(AzzeraAggiornaFatturatoImportoIVA)
  VERIPROG_NAMED_REBUILD(AzzeraAggiornaProgressiviIVA)
  VERIPROG_NAMED_STEP(AzzeraAggiornaProgressiviIVA)
  VERIPROG_NAMED_CHECK(ControlloProgressiviIVA)
  VERIPROG_NAMED_CHECK(ControlloProgressiviPlafond)
  VERIPROG_NAMED_REBUILD(AzzeraAggiornaProgressiviPlafond)
  VERIPROG_NAMED_CHECK(ControlloProgressiviRegimeMargine)
  VERIPROG_NAMED_REBUILD(AzzeraAggiornaProgressiviRegimeMargine)
  VERIPROG_NAMED_CHECK(ControlloProgressiviAgricoltura)
  VERIPROG_NAMED_REBUILD(AzzeraAggiornaProgressiviAgricoltura)
  VERIPROG_NAMED_CHECK(ControlloProgressiviAgenzieViaggio)
  VERIPROG_NAMED_REBUILD(AzzeraAggiornaProgressiviAgenzieViaggio)

#undef VERIPROG_NAMED0
#undef VERIPROG_NAMED1
#undef VERIPROG_NAMED2
#undef VERIPROG_NAMED_CHECK
#undef VERIPROG_NAMED_REBUILD
#undef VERIPROG_NAMED_STEP
};

}  // namespace veriprog
