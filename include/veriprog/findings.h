// The rows a check flags, each named by a key a person can type back: the family, the company,
// the period and the row's own key columns, e.g.
// "accounts:1:2024/1:CONTO=0902,CONTOGRID=0902,SEDE=2,VALUTA=EURO". The history records findings
// by this key, and an operator acknowledges one by it.
#pragma once

#include <string>
#include <vector>

#include "veriprog/operation_run.h"
#include "veriprog/operations.h"
#include "veriprog/recordset.h"

namespace veriprog {

struct Finding {
  std::string key;
  // The row's amounts, as text: an acknowledged difference whose amounts change is news again.
  std::string amounts;
};

// The period as a key names it: "2024/1" (fiscal year and sequence) or "2024".
std::string PeriodOf(const OperationInfo& op, const OperationParameters& p);

// The flagged rows of a check's record set, in its view, one finding each. The key columns are
// the row's texts and whole numbers (a branch cast to a whole decimal too) but its descriptions and
// its row identifier (new at every check); the amounts are its decimals with a fraction. Never
// throws for a record set a check left.
std::vector<Finding> FlaggedFindings(const OperationInfo& op, const OperationParameters& p,
                                     db::Recordset& rows);

// The key of the current row of `rows` (whether flagged or not).
std::string KeyOfRow(const OperationInfo& op, const OperationParameters& p,
                     const db::Recordset& rows);

}  // namespace veriprog
