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
  constexpr unsigned kAccounts = kFiscalYear | kBranch;
  constexpr unsigned kPerActivity = kYear | kActivity;
  static const std::vector<OperationInfo> operations = {
      {"ControlloProgressiviContabili", "accounts",
       "account totals per account, customer/supplier, branch and currency", false, kAccounts,
       Call<&M::ControlloProgressiviContabili>, &O::RecSetControlloProgressivi},
      {"AzzeraAggiornaProgressiviContabili", "accounts",
       "account totals, yearly and monthly, with their currency twins", true, kAccounts,
       Call<&M::AzzeraAggiornaProgressiviContabili>, nullptr},
      {"AzzeraAggiornaProgressiviContabiliOld", "accounts-legacy",
       "account totals, the earlier way (zeroing, then writing)", true, kAccounts,
       Call<&M::AzzeraAggiornaProgressiviContabiliOld>, nullptr},
      {"AzzeraAggiornaFatturatoImportoIVA", "turnover", "turnover and VAT amount per account", true,
       kAccounts, Call<&M::AzzeraAggiornaFatturatoImportoIVA>, nullptr},
      {"ControlloProgressiviIVA", "vat", "VAT register totals", false, kYear | kIncludeStored,
       CheckVat, &O::RecSetControlloProgressiviIVA},
      {"AzzeraAggiornaProgressiviIVA", "vat", "VAT register totals", true, kYear,
       Call<&M::AzzeraAggiornaProgressiviIVA>, nullptr},
      {"ControlloProgressiviPlafond", "plafond", "export-plafond totals", false, kPerActivity,
       Call<&M::ControlloProgressiviPlafond>, &O::RecSetControlloProgressiviPlafond},
      {"AzzeraAggiornaProgressiviPlafond", "plafond", "export-plafond totals", true, kPerActivity,
       Call<&M::AzzeraAggiornaProgressiviPlafond>, nullptr},
      {"ControlloProgressiviRegimeMargine", "margin", "margin-scheme totals", false, kPerActivity,
       Call<&M::ControlloProgressiviRegimeMargine>, &O::RecSetControlloProgressiviRegimeMargine},
      {"AzzeraAggiornaProgressiviRegimeMargine", "margin", "margin-scheme totals", true,
       kPerActivity, Call<&M::AzzeraAggiornaProgressiviRegimeMargine>, nullptr},
      {"ControlloProgressiviAgricoltura", "agriculture", "agricultural-scheme totals", false, kYear,
       Call<&M::ControlloProgressiviAgricoltura>, &O::RecSetControlloProgressiviAgricoltura},
      {"AzzeraAggiornaProgressiviAgricoltura", "agriculture", "agricultural-scheme totals", true,
       kYear, Call<&M::AzzeraAggiornaProgressiviAgricoltura>, nullptr},
      {"ControlloProgressiviAgenzieViaggio", "travel", "travel-agency-scheme totals, per activity",
       false, kYear | kActivityCode, Call<&M::ControlloProgressiviAgenzieViaggio>,
       &O::RecSetControlloProgressiviAgenzieViaggio},
      {"AzzeraAggiornaProgressiviAgenzieViaggio", "travel",
       "travel-agency-scheme totals, per activity", true, kYear | kActivityCode,
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

const OperationInfo* FindOperation(bool rebuild, std::string_view family) {
  for (const auto& op : Operations()) {
    if (op.rebuild == rebuild && family == op.family) return &op;
  }
  return nullptr;
}

}  // namespace veriprog
