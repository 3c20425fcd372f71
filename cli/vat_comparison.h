// The command line as the host of the VAT register check: the check lays the stored totals
// ('PGR' rows) beside the journal's ('MOV' rows, several per key where several kinds of lines
// meet in one register type); the host adds them up per key and compares.
#pragma once

#include <memory>

#include "veriprog/recordset.h"

namespace veriprog::cli {

// One row per key (ANNO, TIPOREGISTRO, SEZIONALE, CODICEIVA, TIPOIVA, MESE), in the order the
// keys first appear: the stored figures (IMPONIBILEPROGR, IMPOSTAPROGR, IMPOSTANDPROGR), the
// journal's (IMPONIBILEMOV, IMPOSTAMOV, IMPOSTANDMOV), their differences journal minus stored
// (DIFFIMPONIBILE, DIFFIMPOSTA, DIFFIMPOSTAND, Null where equal) and FLAGSBIL, "Si" where any
// differs and Null otherwise. A key missing on one side counts as zero there. Throws DbError
// when the rows lack a column of the check.
std::shared_ptr<db::Recordset> CompareVatTotals(db::Recordset& rows);

}  // namespace veriprog::cli
