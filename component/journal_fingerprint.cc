#include "component/journal_fingerprint.h"

#include <cstdint>
#include <cstdio>
#include <vector>

#include "component/ledger_lookup.h"
#include "db/sql_text.h"
#include "db/text.h"

namespace veriprog {
namespace {

// What each family reads, as whole rows (every column, a superset of the ones it sums), for the
// scope:
// - the account totals (and the earlier rebuild, and the turnover): the lines of the company's
//   fiscal year with their registration header and causal, the VAT lines of the fiscal year's
//   registrations (the turnover's), and the chart of accounts (its turnover flag);
// - the VAT families: the VAT lines of the company's registrations whose registration, VAT or
//   competence date falls in the year, the VAT codes; the VAT register also every deferred-VAT
//   and publishing document and payment of the company (their payments reach across years); the
//   margin scheme the used-goods lines of the year's registrations.
// A row not in scope changes nothing here, so it never stands in a plan's way.
std::vector<std::string> Sources(const std::string& family, const DryRunScope& s) {
  const std::string d = db::SqlNumber(s.ditta), y = db::SqlNumber(s.anno);
  const std::string cg41 = LedgerTable(TableId::kCG41), cg42 = LedgerTable(TableId::kCG42);
  const std::string header =
      " INNER JOIN " + cg41 + " ON CG41_DITTA_CG18 = ";  // + line's company and registration
  if (family == "accounts") {
    const std::string fiscal_year = " AND CG41_ANNO_CG19 = " + db::SqlNumber(s.esercizio) +
                                    " AND CG41_PROGESER_CG19 = " + db::SqlNumber(s.progressivo);
    return {"SELECT * FROM " + cg42 + " LEFT OUTER JOIN " + cg41 +
                " ON CG41_DITTA_CG18 = CG42_DITTA_CG18 AND CG41_NUMREG = CG42_NUMREG_CG41"
                " LEFT OUTER JOIN CG33_TABCAU ON CG33_CODICE = CG42_CODICE_CG33"
                " WHERE CG42_DITTA_CG18 = " +
                d + " AND CG42_ANNO_CG19 = " + db::SqlNumber(s.esercizio) +
                " AND CG42_PROGESER_CG19 = " + db::SqlNumber(s.progressivo),
            "SELECT * FROM CG43_MOVIVA" + header +
                "CG43_DITTA_CG18 AND CG41_NUMREG = CG43_NUMREG_CG41 WHERE CG43_DITTA_CG18 = " + d +
                fiscal_year,
            "SELECT * FROM CG24_TABPDC"};
  }
  const std::string in_year = " AND (YEAR(CG41_DATAREG) = " + y +
                              " OR YEAR(CG41_DATAREGIVA) = " + y +
                              " OR YEAR(CG41_DATACOMP) = " + y + ")";
  std::vector<std::string> sources = {
      "SELECT * FROM CG43_MOVIVA" + header +
          "CG43_DITTA_CG18 AND CG41_NUMREG = CG43_NUMREG_CG41 WHERE CG43_DITTA_CG18 = " + d +
          in_year,
      "SELECT * FROM CG28_TABCODIVA"};
  if (family == "vat") {
    for (const char* t : {"CG48_MOVSOSP", "CG49_PAGSOSP", "CG50_MOVPAGSOSP", "CGE0_DOCEDITORIA",
                          "CGE1_MOVEDITORIA", "CGE2_PAGEDITORIA", "CGE3_MOVPAGEDITORIA"}) {
      const std::string prefix = std::string(t).substr(0, 4);
      sources.push_back("SELECT * FROM " + std::string(t) + " WHERE " + prefix +
                        "_DITTA_CG18 = " + d);
    }
  }
  if (family == "margin") {
    sources.push_back("SELECT * FROM CGM2_MOVBENIUSATI" + header +
                      "CGM2_DITTA_CG18 AND CG41_NUMREG = CGM2_NUMREG_CG41 WHERE "
                      "CGM2_DITTA_CG18 = " +
                      d + in_year);
  }
  return sources;
}

// Two 64-bit hashes of a row's values, with different offsets and finishing mixes: changing a
// row changes its pair, and the pairs are added up, so that the order rows arrive in does not
// matter.
struct RowHash {
  std::uint64_t a = 0xcbf29ce484222325ULL, b = 0x84222325cbf29ce4ULL;
  void Add(std::string_view bytes) {
    for (const unsigned char c : bytes) {
      a = (a ^ c) * 0x100000001b3ULL;
      b = (b ^ c) * 0x100000001b3ULL;
      b ^= b >> 29;
    }
  }
  static std::uint64_t Mix(std::uint64_t x) {
    x ^= x >> 30;
    x *= 0xbf58476d1ce4e5b9ULL;
    x ^= x >> 27;
    x *= 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
  }
};

// A value as the same text whichever backend read it: numbers without trailing zeros, texts
// without their padding.
std::string Canonical(const db::Variant& v) {
  switch (v.kind()) {
    case db::Variant::Kind::kEmpty:
    case db::Variant::Kind::kNull:
      return "N";
    case db::Variant::Kind::kString:
      return "S" + std::string(db::TrimRight(v.AsString()));
    case db::Variant::Kind::kBoolean:
    case db::Variant::Kind::kInteger:
    case db::Variant::Kind::kDecimal: {
      std::string text = v.ToDecimal() ? v.ToDecimal()->ToString() : v.ToText();
      if (text.find('.') != std::string::npos) {
        while (text.back() == '0')
          text.pop_back();
        if (text.back() == '.') text.pop_back();
      }
      if (text == "-0") text = "0";
      return "D" + text;
    }
    case db::Variant::Kind::kDateTime:
      return "T" + v.ToText();
  }
  return "?";
}

std::string Hex(std::uint64_t x) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(x));
  return text;
}

}  // namespace

std::string JournalFingerprint(db::Connection& connection, const std::string& family,
                               const DryRunScope& scope) {
  std::string fingerprint = "v1";
  for (const std::string& sql : Sources(family, scope)) {
    std::uint64_t rows = 0, sum_a = 0, sum_b = 0;
    connection.QueryKeeping(
        sql, [&](const std::vector<db::FieldDef>&, const std::vector<db::Variant>& values) {
          RowHash h;
          for (const db::Variant& v : values) {
            const std::string text = Canonical(v);
            h.Add(std::to_string(text.size()));
            h.Add(":");
            h.Add(text);
          }
          ++rows;
          sum_a += RowHash::Mix(h.a);
          sum_b += RowHash::Mix(h.b ^ 0x9e3779b97f4a7c15ULL);
          return false;
        });
    fingerprint += "-" + std::to_string(rows) + "." + Hex(sum_a) + Hex(sum_b);
  }
  return fingerprint;
}

}  // namespace veriprog
