// The public operations by name: what a host that names them (the C interface, a scheduler, a
// script) needs to run one and to find the record set a check leaves.
#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "veriprog/main_object.h"

namespace veriprog {

struct OperationInfo {
  const char* name;  // the member's name: "ControlloProgressiviContabili", ...
  bool rebuild;
  // Runs it; `include_stored` is IncludiRecordDeiProgressivi of the VAT check, unread elsewhere.
  void (*run)(CLSCG_VERIPROG& main, bool include_stored);
  // The slot of CPOutput a check fills; nullptr for a rebuild.
  std::shared_ptr<db::Recordset> CLSCG_VERIPROGOUTPUT::*result;
};

// The fourteen operations, in the order of the main object's interface.
const std::vector<OperationInfo>& Operations();
// The one with that name, or nullptr.
const OperationInfo* FindOperation(std::string_view name);

}  // namespace veriprog
