#include "frame/tipo_registro.h"

#include "frame/sql_values.h"
#include "veriprog/recordset.h"

namespace veriprog {

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

long TipiRegistroCausali::operator()(const db::Variant& causale) {
  // The statement sees the causal only through BFill: codes that pad alike share one answer.
  const db::Variant padded = BFill(causale, 4);
  const bool is_null = !padded.has_value();
  if (is_null && null_causal_) return *null_causal_;
  if (!is_null) {
    if (auto it = known_.find(padded.ToText()); it != known_.end()) return it->second;
  }
  const long tipo = DeterminaIndTipoRegDallaCausale(frame_, causale);
  if (frame_.Stato != tsOk) return tipo;
  if (is_null) {
    null_causal_ = tipo;
  } else {
    known_.emplace(padded.ToText(), tipo);
  }
  return tipo;
}

}  // namespace veriprog
