#include "frame/drivers.h"

#include "frame/ledger_lock.h"
#include "frame/transaction.h"

namespace veriprog {
namespace {

void RunRoutine(Frame& f, const Routine& r) {
  if (r.name.empty()) {
    r.body();
  } else {
    f.Guard(r.name, r.body);
  }
}

}  // namespace

void RunCheck(Frame& f, const CheckPlan& plan) noexcept {
  f.Guard(plan.routine, [&] {
    if (!f.StartOperation(plan.checks, plan.numeric)) return;
    if (plan.result != nullptr) f.Output().*plan.result = nullptr;
    LedgerLock lock(f, false);
    if (plan.prepare) plan.prepare();
    const int steps = static_cast<int>(plan.steps.size());
    const auto& ev = plan.events;
    if (ev.begin && !plan.begin_each_step) f.Raise(ev.begin, steps);
    int n = 0;
    for (const Routine& step : plan.steps) {
      if (ev.begin && plan.begin_each_step) f.Raise(ev.begin, steps);
      RunRoutine(f, step);
      if (ev.avanzamento) f.Raise(ev.avanzamento, ++n);
    }
    if (plan.finish) plan.finish();
    if (ev.end) f.Raise(ev.end);
  });
}

void RunRebuild(Frame& f, const RebuildPlan& plan) noexcept {
  f.Guard(plan.routine, [&] {
    if (!f.StartOperation(plan.checks, plan.numeric)) return;
    LedgerLock lock(f, true);  // held beyond the transaction: released after commit or rollback
    ScopedTransaction transaction(f);
    if (f.Stato != tsOk) return;
    const auto& ev = plan.events;
    if (ev.begin) f.Raise(ev.begin, static_cast<int>(plan.steps.size()));
    int n = 0;
    for (const RebuildStep& step : plan.steps) {
      if (ev.processo) f.Raise(ev.processo, ++n, std::string(step.description));
      for (const Routine& routine : step.routines) {
        RunRoutine(f, routine);
        if (f.Stato != tsOk) return;  // the transaction rolls back as it goes out of scope
      }
    }
    if (ev.end) f.Raise(ev.end);
    transaction.Commit();
  });
}

void RunOne(Frame& f, const StepEvents& events, const std::string& sql) {
  if (events.begin) f.Raise(events.begin, 1);
  f.Connection().Execute(sql);
  if (events.avanzamento) f.Raise(events.avanzamento, 1);
  if (events.end) f.Raise(events.end);
}

}  // namespace veriprog
