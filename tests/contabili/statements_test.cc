// The account operations' statements, byte for byte, with and without a branch: what a SQL
// Server ledger receives must not drift when the code around them changes.
#include "tests/support/statements.h"

#include <gtest/gtest.h>

#include "tests/support/fakes.h"
#include "veriprog/main_object.h"

namespace veriprog {
namespace {

std::vector<std::string> Sent(void (CLSCG_VERIPROG::*operation)(), const db::Variant& sede) {
  auto conn = std::make_shared<testing::FakeConnection>();
  CLSCG_VERIPROG main(testing::FakeOutside(std::make_shared<testing::FakeCompany>()));
  auto& in = *main.CPInput();
  in.GConnect = conn;
  in.Ditta = 3;
  in.Esercizio = 2024;
  in.Progressivo = 1;
  in.CodiceSede = sede;
  in.EseguiTransazione = true;
  (main.*operation)();
  return conn->batches;
}

TEST(AccountStatements, AreTheComposedTextByteForByte) {
  using M = CLSCG_VERIPROG;
  for (const auto& [sede, suffix] : {std::pair{db::Variant(), ""}, {db::Variant(4), "_branch"}}) {
    testing::ExpectStatements(Sent(&M::ControlloProgressiviContabili, sede),
                              std::string("accounts_check") + suffix);
    testing::ExpectStatements(Sent(&M::AzzeraAggiornaProgressiviContabili, sede),
                              std::string("accounts_rebuild") + suffix);
    testing::ExpectStatements(Sent(&M::AzzeraAggiornaProgressiviContabiliOld, sede),
                              std::string("accounts_rebuild_legacy") + suffix);
  }
}

}  // namespace
}  // namespace veriprog
