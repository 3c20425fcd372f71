// The handles of the C interface, shared by its sources: what a veriprog_main and a veriprog_rows
// hold. Nothing here is seen by a host.
#pragma once

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "veriprog/main_object.h"
#include "veriprog/named_events.h"
#include "veriprog/operation_run.h"
#include "veriprog/recordset.h"
#include "veriprog/veriprog.h"

namespace veriprog::c_api {

// Forwards every event to the host's callback with its name and its arguments as texts.
class CallbackSink final : public NamedEvents {
 public:
  veriprog_event_fn callback = nullptr;
  void* context = nullptr;

  void OnEvent(const char* name, std::initializer_list<db::Variant*> args) override {
    std::vector<std::string> texts;
    for (const db::Variant* a : args)
      texts.push_back(a->ToText());
    Send(callback, context, name, texts);
  }
  static void Send(veriprog_event_fn callback, void* context, const char* name,
                   const std::vector<std::string>& texts) {
    if (callback == nullptr) return;
    std::vector<const char*> argv;
    for (const auto& t : texts)
      argv.push_back(t.c_str());
    callback(context, name, static_cast<int>(argv.size()), argv.data());
  }
};

using Slot = std::shared_ptr<db::Recordset> CLSCG_VERIPROGOUTPUT::*;

// A bound in seconds as a host passes it: 0 or less (or not a number) is none, a longer one than
// the servers hold is taken as the longest.
inline std::optional<double> WaitBound(double seconds) {
  return seconds > 0 ? std::optional<double>(std::min(seconds, db::kMaxWaitSeconds)) : std::nullopt;
}

}  // namespace veriprog::c_api

struct veriprog_main {
  veriprog::CLSCG_VERIPROG main;
  std::shared_ptr<veriprog::c_api::CallbackSink> sink =
      std::make_shared<veriprog::c_api::CallbackSink>();
  bool include_stored = false;
  veriprog::c_api::Slot last_result = nullptr;
};

struct veriprog_rows {
  veriprog::db::Recordset rs;
  bool started = false;
  std::vector<std::string> names = {};
  std::string cell = {};
};

namespace veriprog::c_api {

// The host's own copy of a record set's rows, freed with veriprog_rows_free; NULL when memory
// runs out.
veriprog_rows* RowsOf(const db::Recordset& rs) noexcept;

// Stato and Errore on the main object, as an operation leaves them; answers Stato.
int Refuse(veriprog_main* v, StatoEnum stato, const std::string& errore);

// The parameter object's fields as the plain values an operation is described by.
OperationParameters ParametersOf(const veriprog_main& v);

}  // namespace veriprog::c_api
