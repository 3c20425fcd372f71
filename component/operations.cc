#include "veriprog/operations.h"

namespace veriprog {
namespace {

template <void (CLSCG_VERIPROG::*op)()>
void Call(CLSCG_VERIPROG& main, bool /*include_stored*/) {
  (main.*op)();
}

void CheckVat(CLSCG_VERIPROG& main, bool include_stored) {
  main.ControlloProgressiviIVA(include_stored);
}

}  // namespace

const std::vector<OperationInfo>& Operations() {
  using M = CLSCG_VERIPROG;
  using O = CLSCG_VERIPROGOUTPUT;
  static const std::vector<OperationInfo> operations = {
      {"ControlloProgressiviContabili", false, Call<&M::ControlloProgressiviContabili>,
       &O::RecSetControlloProgressivi},
      {"AzzeraAggiornaProgressiviContabili", true, Call<&M::AzzeraAggiornaProgressiviContabili>,
       nullptr},
      {"AzzeraAggiornaFatturatoImportoIVA", true, Call<&M::AzzeraAggiornaFatturatoImportoIVA>,
       nullptr},
      {"ControlloProgressiviIVA", false, CheckVat, &O::RecSetControlloProgressiviIVA},
      {"AzzeraAggiornaProgressiviIVA", true, Call<&M::AzzeraAggiornaProgressiviIVA>, nullptr},
      {"ControlloProgressiviPlafond", false, Call<&M::ControlloProgressiviPlafond>,
       &O::RecSetControlloProgressiviPlafond},
      {"AzzeraAggiornaProgressiviPlafond", true, Call<&M::AzzeraAggiornaProgressiviPlafond>,
       nullptr},
      {"ControlloProgressiviRegimeMargine", false, Call<&M::ControlloProgressiviRegimeMargine>,
       &O::RecSetControlloProgressiviRegimeMargine},
      {"AzzeraAggiornaProgressiviRegimeMargine", true,
       Call<&M::AzzeraAggiornaProgressiviRegimeMargine>, nullptr},
      {"ControlloProgressiviAgricoltura", false, Call<&M::ControlloProgressiviAgricoltura>,
       &O::RecSetControlloProgressiviAgricoltura},
      {"AzzeraAggiornaProgressiviAgricoltura", true, Call<&M::AzzeraAggiornaProgressiviAgricoltura>,
       nullptr},
      {"AzzeraAggiornaProgressiviContabiliOld", true,
       Call<&M::AzzeraAggiornaProgressiviContabiliOld>, nullptr},
      {"ControlloProgressiviAgenzieViaggio", false, Call<&M::ControlloProgressiviAgenzieViaggio>,
       &O::RecSetControlloProgressiviAgenzieViaggio},
      {"AzzeraAggiornaProgressiviAgenzieViaggio", true,
       Call<&M::AzzeraAggiornaProgressiviAgenzieViaggio>, nullptr},
  };
  return operations;
}

const OperationInfo* FindOperation(std::string_view name) {
  for (const auto& op : Operations()) {
    if (name == op.name) return &op;
  }
  return nullptr;
}

}  // namespace veriprog
