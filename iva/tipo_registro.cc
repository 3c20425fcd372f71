#include "iva/tipo_registro.h"

#include "db/recordset.h"
#include "frame/sql_values.h"

namespace veriprog::iva {

long DeterminaIndTipoRegDallaCausale(Frame& frame, const db::Variant& causale) {
  return frame.GuardValue<long>("DeterminaIndTipoRegDallaCausale", 0, [&]() -> long {
    db::Recordset rs;
    rs.Open("SELECT CG33_INDTIPOREG FROM CG33_TABCAU WHERE CG33_CODICE = '" +
                SqlText(BFill(causale, 4)) + "'",
            frame.SharedConnection());
    if (rs.RecordCount() == 0) return 0;
    return static_cast<long>(NVL(rs.Get("CG33_INDTIPOREG"), 0).ToInteger().value_or(0));
  });
}

}  // namespace veriprog::iva
