// Hostile parameters for every operation: every field of the parameter object tried with
// quotes, statement separators, comments, very long text, non-numbers, negative and huge numbers,
// Null and Empty. A value an operation pastes into its statements either passes as the whole
// number it is or stops the operation with tsParametriNonValidi before any statement runs; no
// hostile text ever reaches the database, whatever the field.
#include <gtest/gtest.h>

#include "tests/support/fakes.h"
#include "veriprog/main_object.h"
#include "veriprog/operations.h"

namespace veriprog {
namespace {

using testing::FakeCompany;
using testing::FakeConnection;

// Every text field a host sets by name but the connection string.
std::vector<InputTextField> HostileFields() {
  std::vector<InputTextField> fields;
  for (const InputTextField& f : InputTextFields())
    if (std::string_view(f.name) != "SConnect") fields.push_back(f);
  return fields;
}

// Each hostile value carries a marker that must never appear in a statement.
std::vector<db::Variant> HostileValues() {
  return {"1'; DROP TABLE CG53_PROGA; --XX",
          "1 OR 1=1 --XX",
          "1/*XX*/",
          "1; DELETE FROM CG52_PROGM XX",
          "XX" + std::string(100000, '9'),
          "XXabc",
          "1e3XX",
          "0x1FXX",
          "XX\n1",
          "99999999999999999999999999999999999999",
          "-99999999999999999999999999999999999999"};
}

bool Writes(const std::string& batch) {
  for (const char* verb : {"INSERT", "UPDATE", "DELETE", "DROP TABLE CG", "TRUNCATE"}) {
    if (batch.find(verb) != std::string::npos) return true;
  }
  return false;
}

TEST(HostileInput, NoFieldOfAnyOperationReachesTheDatabaseUnchecked) {
  int tried = 0, refused = 0;
  for (const OperationInfo& op : Operations()) {
    for (const auto& [field_name, field] : HostileFields()) {
      for (const db::Variant& value : HostileValues()) {
        SCOPED_TRACE(std::string(op.name) + " / " + field_name + " = " +
                     value.ToText().substr(0, 40));
        auto conn = std::make_shared<FakeConnection>();
        CLSCG_VERIPROG main(testing::FakeOutside(std::make_shared<FakeCompany>()));
        auto& in = *main.CPInput();
        in.GConnect = conn;
        in.Ditta = 1;
        in.Esercizio = 2024;
        in.Progressivo = 1;
        in.Anno = 2024;
        in.EseguiTransazione = true;
        in.*field = value;
        op.run(main, true);
        ++tried;
        for (const auto& batch : conn->batches) {
          ASSERT_EQ(batch.find("XX"), std::string::npos) << "a hostile value reached:\n" << batch;
          ASSERT_EQ(batch.find("99999999999999999999"), std::string::npos) << batch;
        }
        if (main.Stato() == tsParametriNonValidi) {
          ++refused;
          EXPECT_NE(main.Errore().find(field_name), std::string::npos) << main.Errore();
          for (const auto& batch : conn->batches)
            EXPECT_FALSE(Writes(batch)) << "a write after a refused parameter:\n" << batch;
          EXPECT_EQ(conn->begins, 0);
        }
      }
    }
  }
  // Every operation reads the company: its hostile values are always refused, at the least.
  EXPECT_GE(refused, static_cast<int>(Operations().size() * HostileValues().size()));
  EXPECT_EQ(tried, static_cast<int>(Operations().size() * HostileFields().size() *
                                    HostileValues().size()));
}

TEST(HostileInput, NullAndEmptyAreMissingParametersNotValues) {
  for (const OperationInfo& op : Operations()) {
    for (const db::Variant& nothing : {db::Variant(), db::Variant::Null(), db::Variant("")}) {
      auto conn = std::make_shared<FakeConnection>();
      CLSCG_VERIPROG main(testing::FakeOutside(std::make_shared<FakeCompany>()));
      main.CPInput()->GConnect = conn;
      main.CPInput()->Ditta = nothing;
      main.CPInput()->Anno = 2024;
      op.run(main, true);
      EXPECT_EQ(main.Stato(), tsParametriNonValidi) << op.name;
      EXPECT_EQ(main.Errore(), "Non è stata definita la ditta") << op.name;
      EXPECT_TRUE(conn->batches.empty()) << op.name;
    }
  }
}

}  // namespace
}  // namespace veriprog
