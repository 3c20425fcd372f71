// The VAT register totals compared per key, for every host: the check run with the stored totals
// (IncludiRecordDeiProgressivi) lays them ('PGR' rows) beside the journal's ('MOV' rows, several
// per key where several kinds of lines meet in one register type); this adds them up per key
// and compares.
#pragma once

#include <memory>
#include <string>

#include "veriprog/recordset.h"

namespace veriprog {

// One row per key (ANNO, TIPOREGISTRO, SEZIONALE, CODICEIVA, TIPOIVA, MESE), in the order the
// keys first appear: the stored figures (IMPONIBILEPROGR, IMPOSTAPROGR, IMPOSTANDPROGR), the
// journal's (IMPONIBILEMOV, IMPOSTAMOV, IMPOSTANDMOV), their differences journal minus stored
// (DIFFIMPONIBILE, DIFFIMPOSTA, DIFFIMPOSTAND, Null where equal) and FLAGSBIL, "Si" where any
// differs and Null otherwise. A key missing on one side counts as zero there. Never throws:
// nullptr, with the reason in `error` when given, when the rows lack a column of the check.
// The new record set is the caller's; `rows` is left at its end.
std::shared_ptr<db::Recordset> CompareVatTotals(db::Recordset& rows, std::string* error = nullptr);

}  // namespace veriprog
