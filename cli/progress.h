// Progress of an operation on stderr, fed by its events: one line redrawn in place when stderr
// is a terminal, plain lines otherwise (logs, pipes). The component raises its end event even for
// an operation that then fails, so the closing line waits for Finish, told the outcome.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

#include "veriprog/main_object.h"
#include "veriprog/named_events.h"

namespace veriprog::cli {

class ProgressSink final : public NamedEvents {
 public:
  explicit ProgressSink(std::FILE* out);
  ~ProgressSink() override;

  void OnEvent(const char* name, std::initializer_list<db::Variant*> args) override;
  // Once the operation has returned: "done: ..." when it succeeded, otherwise how far it got.
  void Finish(bool succeeded);

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
  void PrintDone();
  void Show();

  std::FILE* out_;
  bool terminal_;
  bool drawn_ = false;
  bool running_ = false;
  bool rebuild_ = false;
  bool ended_ = false;  // the end event came; its line waits for the outcome
  long long elapsed_ms_ = 0;
  std::string total_;
  std::string current_;
  std::string label_;
  std::string sub_max_;
  std::string sub_done_;
  std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
};

}  // namespace veriprog::cli
