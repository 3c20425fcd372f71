// The test database where the build has no libpq to make one (Windows): none is reachable, so
// every database test skips and the unit tests run alone.
#include <gtest/gtest.h>

#include "tests/support/test_database.h"

namespace veriprog::testing {

TestDatabase::TestDatabase() = default;
TestDatabase::~TestDatabase() = default;
std::string TestDatabase::odbc_conninfo() const {
  return {};
}
bool TestDatabase::odbc() const {
  return true;
}
std::shared_ptr<db::Connection> TestDatabase::Connect() const {
  return nullptr;
}
void TestDatabase::Run(const std::string& /*sql*/) const {
  ADD_FAILURE() << "no test database in this build";
}

}  // namespace veriprog::testing
