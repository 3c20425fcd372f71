// The public operations, in one table: what a host that names them (the C interface, the
// command line, a scheduler, a script) needs to run one, to know which parameter fields it reads
// and to find the record set a check leaves. The command line's subcommands and their help are
// made from it.
#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "veriprog/main_object.h"

namespace veriprog {

// The parameter fields an operation reads, beyond the connection and the company.
enum Reads : unsigned {
  kFiscalYear = 1,      // Esercizio, Progressivo
  kBranch = 2,          // CodiceSede
  kYear = 4,            // Anno
  kActivity = 8,        // ElaborazionePerAttivita, CodiceAttivita, IDAttivita
  kIncludeStored = 16,  // the VAT check's IncludiRecordDeiProgressivi
  kActivityCode = 32    // CodiceAttivita alone (travel agencies: always per activity)
};

struct OperationInfo {
  const char* name;    // the member's name: "ControlloProgressiviContabili", ...
  const char* family;  // the family as the command line names it: "accounts", "vat", ...
  const char* help;    // the family in a few words
  bool rebuild;
  unsigned reads;  // Reads
  // Runs it; `include_stored` is IncludiRecordDeiProgressivi of the VAT check, unread elsewhere.
  void (*run)(CLSCG_VERIPROG& main, bool include_stored);
  // The slot of CPOutput a check fills; nullptr for a rebuild.
  std::shared_ptr<db::Recordset> CLSCG_VERIPROGOUTPUT::*result;
};

// The fourteen operations, family by family, each family's check before its rebuilds.
const std::vector<OperationInfo>& Operations();
// The one with that member name, or nullptr.
const OperationInfo* FindOperation(std::string_view name);
// The check or rebuild of a family as the command line names it ("accounts"), or nullptr.
const OperationInfo* FindOperation(bool rebuild, std::string_view family);

}  // namespace veriprog
