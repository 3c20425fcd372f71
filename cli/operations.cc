#include "cli/operations.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <iterator>

namespace veriprog::cli {

std::string Title(const OperationInfo& op) {
  return std::string(op.rebuild ? "rebuild " : "check ") + op.family;
}

std::string ConnectionString(const std::string& given) {
  if (!given.empty()) return given;
  const char* env = std::getenv("VERIPROG_CONNECTION");
  return env != nullptr && *env != '\0' ? env : "postgresql://";  // libpq's defaults
}

OperationParameters ParametersOf(const OperationOptions& o) {
  OperationParameters p = o;
  p.connection = ConnectionString(o.connection);
  return p;
}

void FillInput(CLSCG_VERIPROGINPUT& in, const OperationOptions& o, bool rebuild) {
  veriprog::FillInput(in, ParametersOf(o), rebuild);
}

std::int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

double SecondsSince(std::int64_t start_ns) {
  return static_cast<double>(NowNs() - start_ns) / 1e9;
}

void AddTimeoutOptions(CLI::App* cmd, OperationParameters& o) {
  cmd->add_option("--lock-timeout", o.lock_timeout,
                  "seconds to wait for the company's lock while another run holds it, then fail "
                  "(exit 3) with nothing written; default: wait as long as it takes")
      ->check(CLI::PositiveNumber & CLI::Range(0.0, db::kMaxWaitSeconds));
  cmd->add_option("--statement-timeout", o.statement_timeout,
                  "seconds any one statement may run before the server cancels it (a rebuild "
                  "then rolls back); default: no limit")
      ->check(CLI::PositiveNumber & CLI::Range(0.0, db::kMaxWaitSeconds));
}

RunLimits LimitsOf(const OperationParameters& o) {
  return {o.lock_timeout, o.statement_timeout, [](const std::string& what) {
            std::fprintf(stderr, "%s\n", what.c_str());
            std::fflush(stderr);
          }};
}

ExitCode ExitCodeOf(const Outcome& outcome) {
  return static_cast<ExitCode>(CommandExitCode(outcome));
}

ExitCode ExitCodeOf(StatoEnum stato) {
  switch (stato) {
    case tsOk:
      return ExitCode::kOk;
    case tsParametriNonValidi:
      return ExitCode::kInvalidParameters;
    default:
      return ExitCode::kProgramError;
  }
}

std::string OutcomeText(ExitCode code) {
  // By exit code: 0 ok, 1 flagged, 2 invalid parameters, 3 error, 4 refused.
  constexpr const char* kWords[] = {"ok", "flagged", "invalid parameters", "error", "refused"};
  const auto i = static_cast<std::size_t>(code);
  return i < std::size(kWords) ? kWords[i] : "interrupted";
}

int ReportInterruption(CLSCG_VERIPROG& main, bool wrote, bool in_transaction, bool finished,
                       std::string_view what, int signal) {
  if (!main.Errore().empty()) std::cerr << main.Errore() << '\n';
  const auto& connection = main.CPInput()->GConnect;
  if (connection && connection->in_transaction()) {
    try {
      connection->RollbackTrans();  // the operation's own rollback failed: never leave it open
    } catch (const std::exception& e) {
      std::cerr << "rollback failed (" << e.what() << "); the server undoes the transaction "
                << "when the connection closes\n";
    }
  }
  if (!wrote) {
    std::cerr << "interrupted: " << what << " stopped; nothing was written\n";
  } else if (finished) {
    std::cerr << "interrupted after " << what << " had finished: its totals are written\n";
  } else if (in_transaction) {
    std::cerr << "interrupted: " << what
              << " was rolled back; the stored totals are as they were\n";
  } else {
    std::cerr << "interrupted: without a transaction, the steps finished before the interruption "
                 "stay written\n";
  }
  return 128 + signal;
}

void PrintSummary(std::string_view operation, std::optional<std::int64_t> rows,
                  std::optional<std::int64_t> flagged, double seconds, int exit_code) {
  auto count = [](const std::optional<std::int64_t>& n) {
    return n ? std::to_string(*n) : std::string("-");
  };
  char elapsed[32];
  std::snprintf(elapsed, sizeof elapsed, "%.3f", seconds);
  std::cerr << "summary: " << operation << " rows=" << count(rows) << " flagged=" << count(flagged)
            << " elapsed=" << elapsed << "s exit=" << exit_code << std::endl;
}

}  // namespace veriprog::cli
