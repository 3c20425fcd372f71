// selftest: the acceptance kit on a scratch database of the user's own server. It prints a line
// per step as the step ends, then the whole as JSON when asked, and writes the report to hand
// to support.
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/commands.h"
#include "cli/operations.h"
#include "selftest/selftest.h"

namespace veriprog::cli {
namespace {

struct Options {
  selftest::SelftestOptions kit;
  std::string format = "table";
  std::string report;
};

nlohmann::ordered_json StepJson(const selftest::StepResult& s) {
  return {{"step", s.step},          {"operation", s.operation}, {"passed", s.passed},
          {"units", s.units},        {"rows", s.rows},           {"flagged", s.flagged},
          {"seconds", s.seconds},    {"message", s.message},     {"difference", s.difference},
          {"statement", s.statement}};
}

nlohmann::ordered_json ResultJson(const selftest::SelftestResult& r) {
  auto steps = nlohmann::ordered_json::array();
  for (const auto& s : r.steps)
    steps.push_back(StepJson(s));
  auto server = nlohmann::ordered_json::object();
  for (const auto& [name, value] : r.server)
    server[name] = value;
  return {{"format_version", kJsonFormatVersion},
          {"passed", r.passed()},
          {"refused", r.refused},
          {"server", server},
          {"steps", steps}};
}

void PrintStep(std::ostream& out, const selftest::StepResult& s) {
  std::ostringstream line;
  line << (s.passed ? "pass  " : "FAIL  ") << std::left << std::setw(13) << s.step << std::setw(18)
       << s.operation << std::right << std::setw(4) << s.units << " units " << std::setw(9)
       << s.rows << " rows " << std::setw(6) << s.flagged << " flagged " << std::fixed
       << std::setprecision(2) << std::setw(8) << s.seconds << " s";
  out << line.str() << '\n';
  if (!s.message.empty() && (!s.passed || s.step == "generate"))
    out << "      " << s.message << '\n';
  if (!s.passed && !s.difference.empty()) out << "      first difference: " << s.difference << '\n';
  if (!s.passed && !s.statement.empty()) out << "      statement: " << s.statement << '\n';
}

}  // namespace

void AddSelftestCommand(CLI::App& app, ExitCode& code) {
  auto o = std::make_shared<Options>();
  CLI::App* cmd = app.add_subcommand(
      "selftest",
      "Prove every operation on a scratch database of your own server: installs the development "
      "schema, generates a ledger, runs and compares everything, removes it again");
  cmd->add_option("--connection", o->kit.connection,
                  "an EMPTY scratch database (libpq text, URI or ODBC string)")
      ->required();
  cmd->add_option("--lines", o->kit.lines, "journal lines to generate, about")
      ->check(CLI::Range(1000, 10000000));
  cmd->add_option("--seed", o->kit.seed, "random seed of the generated ledger");
  cmd->add_option("--jobs", o->kit.jobs, "connections of the run over every company")
      ->check(CLI::Range(1, 16));
  cmd->add_flag("--keep", o->kit.keep, "leave the schema and the generated ledger in place");
  cmd->add_option("--format", o->format, "table or json")->check(CLI::IsMember({"table", "json"}));
  cmd->add_option("--report", o->report, "write the JSON report, with the server's settings, here");
#ifdef VERIPROG_SELFTEST_HOOKS
  cmd->add_option("--corrupt-result", o->kit.corrupt_family)->group("");
#endif
  cmd->callback([o, &code] {
    const bool table = o->format == "table";
    const auto result = selftest::RunSelftest(o->kit, [&](const selftest::StepResult& s) {
      if (table) PrintStep(std::cout, s);
      std::cout.flush();
    });
    const auto json = ResultJson(result);
    if (!table) std::cout << json.dump(2) << '\n';
    bool reported = true;
    if (!o->report.empty()) {
      // Written aside and renamed, so that no half-written report is ever left.
      const std::string aside = o->report + ".tmp";
      std::ofstream file(aside);
      file << json.dump(2) << '\n';
      file.close();
      std::error_code error;
      if (file) std::filesystem::rename(aside, o->report, error);
      if (!file || error) {
        std::cerr << "cannot write the report to " << o->report << '\n';
        std::filesystem::remove(aside, error);
        reported = false;
      }
    }
    if (!result.refused.empty()) {
      std::cerr << "selftest refused: " << result.refused << "\nnothing was written\n";
      code = ExitCode::kInvalidParameters;
      return;
    }
    std::size_t failed = 0;
    for (const auto& s : result.steps)
      failed += !s.passed;
    std::cerr << "selftest: " << result.steps.size() << " steps, " << failed << " failed\n";
    code = !reported         ? ExitCode::kProgramError
           : result.passed() ? ExitCode::kOk
                             : ExitCode::kFlagged;
  });
}

}  // namespace veriprog::cli
