// Progress of an operation on stderr, fed by its events: one line redrawn in place when stderr
// is a terminal, plain lines otherwise (logs, pipes).
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

#include "veriprog/main_object.h"

namespace veriprog::cli {

class ProgressSink final : public VeriprogEvents {
 public:
  explicit ProgressSink(std::FILE* out);
  ~ProgressSink() override;

#define VERIPROG_CLI_CHECK(Op)                       \
  void Begin##Op(db::Variant& max) override {        \
    CheckStart(max);                                 \
  }                                                  \
  void Avanzamento##Op(db::Variant& step) override { \
    CheckStep(step);                                 \
  }                                                  \
  void End##Op() override {                          \
    CheckDone();                                     \
  }
#define VERIPROG_CLI_REBUILD(Op)                                  \
  void Begin##Op(db::Variant& count) override {                   \
    rebuild_ = true;                                              \
    Start(count);                                                 \
  }                                                               \
  void Processo##Op(db::Variant& n, db::Variant& text) override { \
    Process(n, text);                                             \
  }                                                               \
  void End##Op() override {                                       \
    rebuild_ = false;                                             \
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
  // A check on its own, or run as a step of a rebuild (its months are then the step's progress);
  // a month loop announces its total at every month.
  void CheckStart(const db::Variant& total);
  void CheckStep(const db::Variant& done);
  void CheckDone();
  void Step(const db::Variant& done);
  void Process(const db::Variant& number, const db::Variant& text);
  void SubStart(const db::Variant& max);
  void SubStep(const db::Variant& done);
  void Done();
  void Show();

  std::FILE* out_;
  bool terminal_;
  bool drawn_ = false;
  bool running_ = false;
  bool rebuild_ = false;
  std::string total_;
  std::string current_;
  std::string label_;
  std::string sub_max_;
  std::string sub_done_;
  std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
};

}  // namespace veriprog::cli
