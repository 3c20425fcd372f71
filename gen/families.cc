// The families that add their registrations and stored totals to the generated ledger. Each
// family of operations brings its own part; they run in this order.
#include "gen/ledger_writer.h"

namespace veriprog::gen {

std::unique_ptr<FamilyGenerator> MakeVatRegistersGenerator();

std::vector<std::unique_ptr<FamilyGenerator>> MakeFamilyGenerators() {
  std::vector<std::unique_ptr<FamilyGenerator>> families;
  // Last: the VAT register totals are reckoned over every VAT line the others wrote.
  families.push_back(MakeVatRegistersGenerator());
  return families;
}

}  // namespace veriprog::gen
