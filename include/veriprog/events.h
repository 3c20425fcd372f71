// The progress events of the main object, one virtual method per event, in the order of their
// dispatch identifiers 1..48. Every argument is a Variant passed by reference. A host derives
// from VeriprogEvents, overrides what it needs (the rest do nothing) and attaches the sink to
// the main object; events are raised synchronously on the caller's thread.
#pragma once

#include "veriprog/variant.h"

namespace veriprog {

// The shapes of the event table: Begin/Avanzamento/End of a check; Begin/Processo/End of a
// rebuild; BeginProcesso/AvanzamentoProcesso/EndProcesso around a step's own loop.
#define VERIPROG_CHECK_EVENTS(Op)                                   \
  virtual void Begin##Op(db::Variant& /*MaxAvanzamento*/) {}        \
  virtual void Avanzamento##Op(db::Variant& /*StepAvanzamento*/) {} \
  virtual void End##Op() {}
#define VERIPROG_REBUILD_EVENTS(Op)                                                          \
  virtual void Begin##Op(db::Variant& /*NumProcessi*/) {}                                    \
  virtual void Processo##Op(db::Variant& /*NumProcesso*/, db::Variant& /*DescrProcesso*/) {} \
  virtual void End##Op() {}
#define VERIPROG_STEP_EVENTS(Op)                                            \
  virtual void BeginProcesso##Op(db::Variant& /*MaxAvanzamento*/) {}        \
  virtual void AvanzamentoProcesso##Op(db::Variant& /*StepAvanzamento*/) {} \
  virtual void EndProcesso##Op() {}

class VeriprogEvents {
 public:
  virtual ~VeriprogEvents() = default;

  VERIPROG_CHECK_EVENTS(ControlloProgressiviContabili)              // 1-3
  VERIPROG_REBUILD_EVENTS(AzzeraAggiornaProgressiviContabili)       // 4-6
  VERIPROG_STEP_EVENTS(AzzeraAggiornaProgressiviContabili)          // 7-9
  VERIPROG_REBUILD_EVENTS(AzzeraAggiornaFatturatoImportoIVA)        // 10-12
  VERIPROG_STEP_EVENTS(AzzeraAggiornaFatturatoImportoIVA)           // 13-15
  VERIPROG_REBUILD_EVENTS(AzzeraAggiornaProgressiviIVA)             // 16-18
  VERIPROG_STEP_EVENTS(AzzeraAggiornaProgressiviIVA)                // 19-21
  VERIPROG_CHECK_EVENTS(ControlloProgressiviIVA)                    // 22-24
  VERIPROG_CHECK_EVENTS(ControlloProgressiviPlafond)                // 25-27
  VERIPROG_REBUILD_EVENTS(AzzeraAggiornaProgressiviPlafond)         // 28-30
  VERIPROG_CHECK_EVENTS(ControlloProgressiviRegimeMargine)          // 31-33
  VERIPROG_REBUILD_EVENTS(AzzeraAggiornaProgressiviRegimeMargine)   // 34-36
  VERIPROG_CHECK_EVENTS(ControlloProgressiviAgricoltura)            // 37-39
  VERIPROG_REBUILD_EVENTS(AzzeraAggiornaProgressiviAgricoltura)     // 40-42
  VERIPROG_CHECK_EVENTS(ControlloProgressiviAgenzieViaggio)         // 43-45
  VERIPROG_REBUILD_EVENTS(AzzeraAggiornaProgressiviAgenzieViaggio)  // 46-48
};

#undef VERIPROG_CHECK_EVENTS
#undef VERIPROG_REBUILD_EVENTS
#undef VERIPROG_STEP_EVENTS

}  // namespace veriprog
