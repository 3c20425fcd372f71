#include <cstdlib>
#include <iostream>
#include <memory>

#include "cli/commands.h"
#include "cli/output.h"
#include "veriprog/connection.h"
#include "veriprog/error.h"

namespace veriprog::cli {
namespace {

struct SqlOptions {
  std::string connection;
  std::string batch;
  std::string format = "table";
};

std::string DefaultConnection() {
  const char* env = std::getenv("VERIPROG_CONNECTION");
  return env != nullptr ? env : "";
}

}  // namespace

void AddSqlCommands(CLI::App& app, ExitCode& code) {
  auto options = std::make_shared<SqlOptions>();
  options->connection = DefaultConnection();

  CLI::App* sql =
      app.add_subcommand("sql", "Run a T-SQL batch through the database layer and print its rows");
  sql->add_option("--connection", options->connection,
                  "postgresql:// URI, libpq key=value text or ODBC Driver=...;/DSN=... string "
                  "(default: $VERIPROG_CONNECTION, "
                  "then libpq's environment)");
  sql->add_option("--format", options->format, "table, csv or json")
      ->check(CLI::IsMember({"table", "csv", "json"}));
  sql->add_option("batch", options->batch, "the T-SQL batch")->required();
  sql->callback([options, &code] {
    try {
      auto conn = db::Connect(options->connection);
      std::int64_t affected = 0;
      auto result = conn->Execute(options->batch, &affected);
      if (!result) {
        std::cout << affected << (affected == 1 ? " row affected\n" : " rows affected\n");
        return;
      }
      db::Recordset rs = db::Recordset::FromResult(std::move(*result), conn);
      if (options->format == "json") {
        std::cout << nlohmann::ordered_json{{"format_version", kJsonFormatVersion},
                                            {"rows", RowsToJson(rs)}}
                         .dump(2)
                  << '\n';
      } else if (options->format == "csv") {
        PrintCsv(std::cout, rs);
      } else {
        PrintTable(std::cout, rs);
      }
    } catch (const std::exception& e) {
      std::cerr << e.what() << '\n';
      code = ExitCode::kProgramError;
    }
  });

  auto batch = std::make_shared<std::string>();
  CLI::App* translate = app.add_subcommand(
      "translate", "Print the PostgreSQL text of a T-SQL batch without running it");
  translate->add_option("batch", *batch, "the T-SQL batch")->required();
  translate->callback([batch, &code] {
    try {
      std::cout << db::TranslateForPostgres(*batch);
    } catch (const std::exception& e) {
      std::cerr << e.what() << '\n';
      code = ExitCode::kProgramError;
    }
  });
}

}  // namespace veriprog::cli
