// Progress of an operation on stderr, fed by its events: one line redrawn in place when stderr
// is a terminal, plain lines otherwise (logs, pipes).
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

#include "component/events.h"

namespace veriprog::cli {

class ProgressSink final : public VeriprogEvents {
 public:
  explicit ProgressSink(std::FILE* out);
  ~ProgressSink() override;

#define VERIPROG_CLI_CHECK(Op)                       \
  void Begin##Op(db::Variant& max) override {        \
    Start(max);                                      \
  }                                                  \
  void Avanzamento##Op(db::Variant& step) override { \
    Step(step);                                      \
  }                                                  \
  void End##Op() override {                          \
    CheckDone();                                     \
  }
#define VERIPROG_CLI_REBUILD(Op)                                  \
  void Begin##Op(db::Variant& count) override {                   \
    Start(count);                                                 \
  }                                                               \
  void Processo##Op(db::Variant& n, db::Variant& text) override { \
    Process(n, text);                                             \
  }                                                               \
  void End##Op() override {                                       \
    Done();                                                       \
  }
#define VERIPROG_CLI_STEP(Op)                                \
  void BeginProcesso##Op(db::Variant& max) override {        \
    SubStart(max);                                           \
  }                                                          \
  void AvanzamentoProcesso##Op(db::Variant& step) override { \
    SubStep(step);                                           \
  }                                                          \
  void EndProcesso##Op() override {}

  VERIPROG_CLI_CHECK(ControlloProgressiviContabili)
  VERIPROG_CLI_REBUILD(AzzeraAggiornaProgressiviContabili)
  VERIPROG_CLI_STEP(AzzeraAggiornaProgressiviContabili)
  VERIPROG_CLI_REBUILD(AzzeraAggiornaFatturatoImportoIVA)
  VERIPROG_CLI_STEP(AzzeraAggiornaFatturatoImportoIVA)
  VERIPROG_CLI_REBUILD(AzzeraAggiornaProgressiviIVA)
  VERIPROG_CLI_STEP(AzzeraAggiornaProgressiviIVA)
  VERIPROG_CLI_CHECK(ControlloProgressiviIVA)
  VERIPROG_CLI_CHECK(ControlloProgressiviPlafond)
  VERIPROG_CLI_REBUILD(AzzeraAggiornaProgressiviPlafond)
  VERIPROG_CLI_CHECK(ControlloProgressiviRegimeMargine)
  VERIPROG_CLI_REBUILD(AzzeraAggiornaProgressiviRegimeMargine)
  VERIPROG_CLI_CHECK(ControlloProgressiviAgricoltura)
  VERIPROG_CLI_REBUILD(AzzeraAggiornaProgressiviAgricoltura)
  VERIPROG_CLI_CHECK(ControlloProgressiviAgenzieViaggio)
  VERIPROG_CLI_REBUILD(AzzeraAggiornaProgressiviAgenzieViaggio)

#undef VERIPROG_CLI_CHECK
#undef VERIPROG_CLI_REBUILD
#undef VERIPROG_CLI_STEP

 private:
  void Start(const db::Variant& total);
  void Step(const db::Variant& done);
  void Process(const db::Variant& number, const db::Variant& text);
  void SubStart(const db::Variant& max);
  void SubStep(const db::Variant& done);
  void Done();
  // The end of a check, unless it ran as a step of a rebuild, whose own end follows.
  void CheckDone();
  void Show();

  std::FILE* out_;
  bool terminal_;
  bool drawn_ = false;
  std::string total_;
  std::string current_;
  std::string label_;
  std::string sub_max_;
  std::string sub_done_;
  std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
};

}  // namespace veriprog::cli
