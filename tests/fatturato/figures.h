// What the turnover tests read back: the turnover and VAT amounts stored, and every other column
// of the four total tables; a connection that records write-backs too. Their ledgers are built
// with TurnoverLedger (tests/support/ledger.h).
#pragma once

#include <string>
#include <vector>

#include "tests/support/ledger.h"
#include "tests/support/recording_connection.h"
#include "veriprog/connection.h"

namespace veriprog::testing {

// Write-backs recorded too: "-- UpdateBatch <table>: <n> row(s)".
inline std::shared_ptr<RecordingConnection> Recording(std::shared_ptr<db::Connection> inner) {
  return std::make_shared<RecordingConnection>(std::move(inner), true);
}

// The turnover and VAT amounts stored, one line per row, sorted:
//   M|ditta|anno|gruppo|sede|conto|tipocf|clifor|annosol|mese|CG52_FATTURATO
//   W|ditta|anno|gruppo|sede|conto|tipocf|clifor|annosol|mese|valuta|FATTURATO|FATTURATOEURO
//   A|ditta|anno|gruppo|sede|conto|tipocf|clifor|CG53_IMPORTOIVA
//   V|ditta|anno|gruppo|sede|conto|tipocf|clifor|valuta|IMPORTOIVA|IMPORTOIVAEURO
// Null keys read as the ledger reads them; the branch is the fifth field of every line.
std::string Figures(db::Connection& conn);
// Every other column of the four tables, identifiers included: what the rebuild must not touch.
std::string OtherColumns(db::Connection& conn);
// The n-th field of a snapshot's line.
std::string Field(const std::string& line, int n);

}  // namespace veriprog::testing
