// The two drivers every operation runs on. An operation is described by data: its routine name,
// its parameter checks, the whole-number parameters it pastes into statements, its events and its
// steps; the driver runs the operation frame around them. A family adds a plan and its steps,
// never a driver.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "frame/frame.h"
#include "veriprog/recordset.h"

namespace veriprog {

// The steps of a plan as members of the family object that draws it up: Passi(this)(name,
// &Family::Step) is the routine `name` that runs this->Step().
template <typename Family>
auto Passi(Family* family) {
  return [family](std::string_view name, void (Family::*step)()) {
    return Routine{name, [family, step] { (family->*step)(); }};
  };
}

// --- checks --------------------------------------------------------------------------------------

struct CheckEvents {
  void (VeriprogEvents::*begin)(db::Variant&) = nullptr;        // MaxAvanzamento
  void (VeriprogEvents::*avanzamento)(db::Variant&) = nullptr;  // StepAvanzamento
  void (VeriprogEvents::*end)() = nullptr;
};

struct CheckPlan {
  std::string_view routine = {};  // the name a failure of the driver itself carries
  std::vector<Check> checks = {};
  std::vector<NumericParam> numeric = {};
  CheckEvents events = {};
  // The slot of CPOutput the check fills. It is emptied once the parameters have passed, so that
  // a check that fails later never leaves an earlier call's rows for the host to read.
  std::shared_ptr<db::Recordset> CLSCG_VERIPROGOUTPUT::*result = nullptr;
  std::function<void()> prepare = {};  // after the parameter checks, before the first event
  // Run in order; Avanzamento(n) after step n. A failing step records its error and the next
  // steps still run: each check reports what it could compute.
  std::vector<Routine> steps = {};
  // Begin(number of steps) before the first step, or at the start of every step (the month
  // loops, whose passes each announce the twelve months).
  bool begin_each_step = false;
  std::function<void()> finish = {};  // after the last step, before End
};

// Runs a check: Stato/Errore reset, parameter checks, prepare, Begin, steps with Avanzamento,
// finish, End. Never throws.
void RunCheck(Frame& frame, const CheckPlan& plan) noexcept;

// --- rebuilds ------------------------------------------------------------------------------------

struct RebuildEvents {
  void (VeriprogEvents::*begin)(db::Variant&) = nullptr;                   // NumProcessi
  void (VeriprogEvents::*processo)(db::Variant&, db::Variant&) = nullptr;  // n, description
  void (VeriprogEvents::*end)() = nullptr;
};

struct RebuildStep {
  std::string_view description;  // DescrProcesso
  std::vector<Routine> routines =
      {};  // in order; the first whose Stato is not tsOk ends the rebuild
};

struct RebuildPlan {
  std::string_view routine = {};
  std::vector<Check> checks = {};
  std::vector<NumericParam> numeric = {};
  RebuildEvents events = {};
  std::vector<RebuildStep> steps = {};
};

// Runs a rebuild: Stato/Errore reset, parameter checks, the transaction, Begin, for each step
// Processo(n, description) and its routines, End, commit. The first routine that leaves Stato
// other than tsOk ends it without End; the transaction is then rolled back. Never throws.
void RunRebuild(Frame& frame, const RebuildPlan& plan) noexcept;

// The events a rebuild's routines raise around their own work.
struct StepEvents {
  void (VeriprogEvents::*begin)(db::Variant&) = nullptr;        // MaxAvanzamento
  void (VeriprogEvents::*avanzamento)(db::Variant&) = nullptr;  // StepAvanzamento
  void (VeriprogEvents::*end)() = nullptr;
};

// One statement between BeginProcesso(1) and AvanzamentoProcesso(1), EndProcesso.
void RunOne(Frame& frame, const StepEvents& events, const std::string& sql);

}  // namespace veriprog
