// The schemas the self-test carries: SQL Server's split into the batches a script tool would
// send, and the drop scripts removing every table and view the install scripts make, so that a
// scratch database is left as it was found.
#include "selftest/schema_scripts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace veriprog::selftest {
namespace {

TEST(SchemaScripts, SqlServerBatchesSplitOnGoLinesOnly) {
  const EmbeddedScript script{"test.sql",
                              "SET ANSI_NULLS ON;\nGO\n-- only a comment\n  go  \n"
                              "CREATE VIEW dbo.V AS SELECT 'GO' AS GOAL\nGO 2x\n\nGo\n"};
  const auto batches = Batches(script, db::Server::kSqlServer);
  ASSERT_EQ(batches.size(), 2u);
  EXPECT_EQ(batches[0], "SET ANSI_NULLS ON;\n");
  // "GO 2x" is no separator line; a batch of comments alone is not sent.
  EXPECT_EQ(batches[1], "CREATE VIEW dbo.V AS SELECT 'GO' AS GOAL\nGO 2x\n\n");
  EXPECT_EQ(Batches(script, db::Server::kPostgres).size(), 1u);
}

TEST(SchemaScripts, EveryCreateOfTheSqlServerSchemaStartsItsOwnBatch) {
  // CREATE FUNCTION and CREATE VIEW must be the first statement of their batch on SQL Server.
  for (const EmbeddedScript& script : InstallScripts(db::Server::kSqlServer)) {
    for (const std::string& batch : Batches(script, db::Server::kSqlServer)) {
      const auto view = batch.find("CREATE VIEW"), function = batch.find("CREATE FUNCTION");
      if (view == std::string::npos && function == std::string::npos) continue;
      EXPECT_EQ(CreatedObjects(batch).size() + (function != std::string::npos), 1u)
          << script.path << ":\n"
          << batch;
    }
  }
}

TEST(SchemaScripts, DropScriptsRemoveEveryTableAndViewInstalled) {
  for (const db::Server server : {db::Server::kPostgres, db::Server::kSqlServer}) {
    std::set<std::string> installed;
    for (const EmbeddedScript& script : InstallScripts(server)) {
      for (const auto& name : CreatedObjects(script.text))
        installed.insert(name);
    }
    ASSERT_GT(installed.size(), 30u);
    std::string drop(DropScript(server).text);
    std::transform(drop.begin(), drop.end(), drop.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    for (const auto& name : installed)
      EXPECT_NE(drop.find(name), std::string::npos) << DropScript(server).path << " keeps " << name;
    // A journal line is dropped before the registration it belongs to.
    const auto tables = drop.find("DROP TABLE");
    EXPECT_LT(drop.find("CG42_MOVCONT;", tables), drop.find("CG41_PRIMANOTA;", tables))
        << DropScript(server).path;
  }
}

}  // namespace
}  // namespace veriprog::selftest
