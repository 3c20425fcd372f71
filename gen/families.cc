// The families that add their registrations and stored totals to the generated ledger. Each
// family of operations brings its own part; they run in this order.
#include "gen/ledger_writer.h"

namespace veriprog::gen {

std::unique_ptr<FamilyGenerator> MakeTurnoverFamily();  // gen/fatturato.cc
std::unique_ptr<FamilyGenerator> MakePlafondGenerator();
std::unique_ptr<FamilyGenerator> MakeSchemesGenerator();
std::unique_ptr<FamilyGenerator> MakeVatRegistersGenerator();

std::vector<std::unique_ptr<FamilyGenerator>> MakeFamilyGenerators() {
  std::vector<std::unique_ptr<FamilyGenerator>> families;
  families.push_back(MakeTurnoverFamily());
  // The monthly VAT totals reckon over every VAT line in the database: they come last, the
  // VAT registers (over every line of every kind) after the plafond and the schemes.
  families.push_back(MakePlafondGenerator());
  families.push_back(MakeSchemesGenerator());
  families.push_back(MakeVatRegistersGenerator());
  return families;
}

}  // namespace veriprog::gen
