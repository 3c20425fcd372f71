#include "tests/fatturato/figures.h"

#include "veriprog/recordset.h"

namespace veriprog::testing {
namespace {

std::string Scalar(db::Connection& conn, const std::string& sql) {
  auto rs = db::Recordset::FromResult(conn.Query(sql), nullptr);
  return rs.Get(std::size_t{0}).ToText();
}

}  // namespace

std::string Figures(db::Connection& conn) {
  const std::string m =
      "CG52_DITTA_CG18, CG52_ANNO_CG53, CG52_GRUPPO_CG10, COALESCE(CG52_CODICE_CG31, 0),"
      " COALESCE(CG52_CONTO_CG24, ''), COALESCE(CG52_TIPOCF_CG44, 0),"
      " COALESCE(CG52_CLIFOR_CG44, 0), CG52_ANNOSOL, CG52_MESE";
  const std::string a =
      "CG53_DITTA_CG18, CG53_ANNO_CG19, CG53_GRUPPO_CG10, COALESCE(CG53_CODICE_CG31, 0),"
      " COALESCE(CG53_CONTO_CG24, ''), COALESCE(CG53_TIPOCF_CG44, 0),"
      " COALESCE(CG53_CLIFOR_CG44, 0)";
  return Scalar(
      conn,
      "SELECT COALESCE(string_agg(x, chr(10) ORDER BY x), '') FROM ("
      " SELECT concat_ws('|', 'M', " +
          m + ", CG52_FATTURATO) AS x FROM CG52_PROGM" + " UNION ALL SELECT concat_ws('|', 'W', " +
          m +
          ", rtrim(CGV1_CODICE_CG08), CGV1_FATTURATO, CGV1_FATTURATOEURO)"
          " FROM CGV1_PROGMVAL JOIN CG52_PROGM ON CG52_IDPROGM = CGV1_IDPROGM_CG52"
          " UNION ALL SELECT concat_ws('|', 'A', " +
          a + ", CG53_IMPORTOIVA) FROM CG53_PROGA" + " UNION ALL SELECT concat_ws('|', 'V', " + a +
          ", rtrim(CGV0_CODICE_CG08), CGV0_IMPORTOIVA, CGV0_IMPORTOIVAEURO)"
          " FROM CGV0_PROGAVAL JOIN CG53_PROGA ON CG53_IDPROGA = CGV0_IDPROGA_CG53) AS T");
}

std::string OtherColumns(db::Connection& conn) {
  return Scalar(
      conn,
      "SELECT concat_ws(chr(10),"
      " (SELECT string_agg((to_jsonb(T) - 'cg52_fatturato')::text, chr(10) ORDER BY"
      "  T.CG52_IDPROGM) FROM CG52_PROGM T),"
      " (SELECT string_agg((to_jsonb(T) - 'cgv1_fatturato' - 'cgv1_fatturatoeuro')::text,"
      "  chr(10) ORDER BY T.CGV1_IDPROGM_CG52, T.CGV1_CODICE_CG08) FROM CGV1_PROGMVAL T),"
      " (SELECT string_agg((to_jsonb(T) - 'cg53_importoiva')::text, chr(10) ORDER BY"
      "  T.CG53_IDPROGA) FROM CG53_PROGA T),"
      " (SELECT string_agg((to_jsonb(T) - 'cgv0_importoiva' - 'cgv0_importoivaeuro')::text,"
      "  chr(10) ORDER BY T.CGV0_IDPROGA_CG53, T.CGV0_CODICE_CG08) FROM CGV0_PROGAVAL T))");
}

std::string Field(const std::string& line, int n) {
  std::size_t from = 0;
  for (int i = 0; i < n; ++i) {
    from = line.find('|', from);
    if (from == std::string::npos) return "";
    ++from;
  }
  return line.substr(from, line.find('|', from) - from);
}

}  // namespace veriprog::testing
