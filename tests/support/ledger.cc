#include "tests/support/ledger.h"

#include <algorithm>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <utility>

#include "db/text.h"
#include "veriprog/decimal.h"
#include "veriprog/recordset.h"

namespace veriprog::testing {
namespace {

constexpr const char* kNullText = "NULL";

// A code or a text, quoted with its quotes doubled.
std::string Text(const std::string& text) {
  return text == kNullText ? text : db::Quoted(text);
}

// A date as YYYY-MM-DD; anything else would reach the database as text of another kind.
std::string Date(const std::string& date) {
  if (date == kNullText) return date;
  static const std::regex kDate("[0-9]{4}-[0-9]{2}-[0-9]{2}");
  if (!std::regex_match(date, kDate)) throw std::invalid_argument("not a date: " + date);
  return db::Quoted(date);
}

// A number or an amount, written as it is given once it has been read as one.
std::string Number(const std::string& number) {
  if (number == kNullText) return number;
  db::Decimal::Parse(number);
  return number;
}

std::string Number(int n) {
  return std::to_string(n);
}

std::string Number(const std::optional<int>& n) {
  return n ? std::to_string(*n) : kNullText;
}

// The texts of the items joined by commas.
std::string List(const auto& items, auto text) {
  std::string out;
  for (const auto& item : items)
    out += (out.empty() ? "" : ", ") + text(item);
  return out;
}

std::string Itself(const std::string& text) {
  return text;
}

// One INSERT, a statement of a batch: the columns named in one text, their values in order.
std::string Insert(const std::string& table, const std::string& columns,
                   const std::vector<std::string>& values) {
  return "INSERT INTO " + table + " (" + columns + ") VALUES (" + List(values, Itself) + ");";
}

std::string Cell(const std::string& value, const std::string& fallback) {
  return value.empty() ? fallback : value;
}

}  // namespace

Value::Value(const char* text) : sql_(db::Quoted(text)) {}

Ledger::Ledger(const TestDatabase& db, Usi usi) : db_(db), usi_(std::move(usi)) {}

void Ledger::Rows(const std::string& table,
                  std::initializer_list<std::initializer_list<Value>> rows) {
  Rows(table, {}, rows);
}

void Ledger::Rows(const std::string& table, const std::vector<std::string>& columns,
                  std::initializer_list<std::initializer_list<Value>> rows) {
  const auto row = [](const std::initializer_list<Value>& cells) {
    return "(" + List(cells, [](const Value& v) { return v.sql(); }) + ")";
  };
  db_.Run("INSERT INTO " + table + (columns.empty() ? "" : " (" + List(columns, Itself) + ")") +
          " VALUES " + List(rows, row));
}

std::string Ledger::Registration(const Testata& t, const std::vector<Riga>& righe,
                                 const std::vector<RigaIva>& iva) {
  const std::string numreg = t.numreg.empty() ? usi_.prefisso + std::to_string(++next_) : t.numreg;
  const std::string ditta = Number(t.ditta), n = Text(numreg), data = Date(t.data);
  const std::string anno = t.anno != 0 ? Number(t.anno) : Number(t.data.substr(0, 4));
  const std::string causale = Text(t.causale.value_or(usi_.causale));
  std::string sql = Insert(
      "CG41_PRIMANOTA",
      "CG41_DITTA_CG18, CG41_NUMREG, CG41_ANNO_CG19, CG41_PROGESER_CG19, CG41_DATAREG,"
      " CG41_DATAREGIVA, CG41_DATACOMP, CG41_CODICE_CG33, CG41_CODICE_CG31, CG41_INDTIPOMOV,"
      " CG41_INDPROVREG, CG41_INDTIPOREG, CG41_SEZIONALE, CG41_FLGSEGNOIVA, CG41_FLGDELETE,"
      " CG41_RIFPADRE",
      {ditta, n, anno, "1", data, Date(Cell(t.data_iva.value_or(usi_.data_iva), t.data)),
       Date(Cell(t.competenza.value_or(usi_.competenza), t.data)), causale, Number(t.sede),
       Number(t.tipo_mov), Number(t.provvisoria), Number(t.tipo_reg ? t.tipo_reg : usi_.tipo_reg),
       Text(Cell(t.sezionale.value_or(usi_.sezionale), kNullText)), Number(t.segno),
       Number(t.flg_delete), db::Quoted(t.rif_padre)});
  int riga = 0;
  for (const Riga& r : righe) {
    sql += Insert(
        "CG42_MOVCONT",
        "CG42_DITTA_CG18, CG42_NUMREG_CG41, CG42_NUMRIGA, CG42_ANNO_CG19, CG42_PROGESER_CG19,"
        " CG42_DATAREG, CG42_CONTOPAR_CG24, CG42_TIPOCF_CG44, CG42_CLIFORPAR_CG44,"
        " CG42_CODICE_CG31, CG42_CODICE_CG08, CG42_CODICE_CG33, CG42_INDDAAV, CG42_IMPTOTALE,"
        " CG42_IMPTOTALEVAL, CG42_INDTIPOOPER, CG42_PROGIVA_CG43",
        {ditta, n, Number(++riga), anno, "1", data, Text(Cell(r.conto, kNullText)),
         Number(r.tipocf), Number(r.clifor), Number(r.sede), Text(r.valuta), causale,
         Number(r.dare_avere), Number(r.importo), Number(r.importo_val),
         Number(r.tipo_oper ? r.tipo_oper : usi_.tipo_oper), Number(r.prog_iva)});
  }
  for (RigaIva v : iva) {
    if (!v.causale_iva) v.causale_iva = usi_.causale_iva;
    sql += VatLineSql(numreg, t.ditta, v);
  }
  db_.Run(sql);
  return numreg;
}

std::string Ledger::Registration(const std::string& data, const std::string& causale,
                                 const std::vector<Riga>& righe, const std::string& sede,
                                 int provvisoria, int ditta, int anno) {
  return Registration({.data = data,
                       .data_iva = "NULL",
                       .causale = causale,
                       .sezionale = "NULL",
                       .provvisoria = provvisoria,
                       .ditta = ditta,
                       .anno = anno,
                       .sede = sede,
                       .competenza = "NULL"},
                      righe);
}

std::string Ledger::VatLineSql(const std::string& numreg, int ditta, const RigaIva& v) {
  return Insert("CG43_MOVIVA",
                "CG43_DITTA_CG18, CG43_NUMREG_CG41, CG43_NUMRIGAIVA, CG43_INDTIPO,"
                " CG43_ALIQIVA1_CG28, CG43_CAUSALEIVA, CG43_IMPONIBILE, CG43_IMPOSTA,"
                " CG43_IMPOSTAND, CG43_IMPOSTAVAL, CG43_IMPOSTANDVAL",
                {Number(ditta), Text(numreg), Number(++vat_lines_[{ditta, numreg}]), Number(v.tipo),
                 Text(v.codice), Number(v.causale_iva), Number(v.imponibile), Number(v.imposta),
                 Number(v.impostand), Number(v.imposta_val), Number(v.impostand_val)});
}

void Ledger::VatLine(const std::string& numreg, int ditta, const RigaIva& v) {
  db_.Run(VatLineSql(numreg, ditta, v));
}

void Ledger::VatLine(const std::string& numreg, int ditta, const std::string& tipo,
                     const std::string& codice, const std::string& imponibile,
                     const std::string& imposta, const std::string& impostand) {
  VatLine(numreg, ditta,
          {.codice = codice,
           .imponibile = imponibile,
           .imposta = imposta,
           .impostand = impostand,
           .tipo = tipo});
}

void Ledger::MarginLine(const std::string& numreg, int ditta, const RigaMargine& m) {
  db_.Run(
      Insert("CGM2_MOVBENIUSATI",
             "CGM2_DITTA_CG18, CGM2_NUMREG_CG41, CGM2_PROGRIGA, CGM2_INDTIPOMOV,"
             " CGM2_INDREGIME, CGM2_CODICE_CG28, CGM2_PERCFORF, CGM2_IMPONIBILE, CGM2_IMPOSTA,"
             " CGM2_RETTCOSTO, CGM2_MARGINE",
             {Number(ditta), Text(numreg), Number(++margin_lines_[{ditta, numreg}]),
              Number(m.tipo_mov), Number(m.regime), Text(m.codice), Number(m.perc_forf),
              Number(m.imponibile), Number(m.imposta), Number(m.rett_costo), Number(m.margine)}));
}

void Ledger::Delete(const std::string& numreg) {
  const std::string n = Text(numreg);
  db_.Run("DELETE FROM CG43_MOVIVA WHERE CG43_NUMREG_CG41 = " + n +
          "; DELETE FROM CG42_MOVCONT WHERE CG42_NUMREG_CG41 = " + n +
          "; DELETE FROM CG41_PRIMANOTA WHERE CG41_NUMREG = " + n);
  for (auto* lines : {&vat_lines_, &margin_lines_})
    std::erase_if(*lines, [&](const auto& entry) { return entry.first.second == numreg; });
}

int Ledger::Yearly(const Annuale& a) {
  // The identifiers follow the registration numbers, so that each stands apart from the rest.
  const int id = a.id != 0 ? a.id : 1000 + ++next_;
  db_.Run(Insert("CG53_PROGA",
                 "CG53_IDPROGA, CG53_DITTA_CG18, CG53_ANNO_CG19, CG53_PROGESER_CG19,"
                 " CG53_GRUPPO_CG10, CG53_CONTO_CG24, CG53_TIPOCF_CG44, CG53_CLIFOR_CG44,"
                 " CG53_CODICE_CG31, CG53_SALDOFIN, CG53_IMPORTOIVA",
                 {Number(id), Number(a.ditta), Number(a.anno), "1",
                  Number(a.gruppo != 0 ? a.gruppo : a.ditta), Text(a.conto), Number(a.tipocf),
                  Number(a.clifor), Number(a.sede), Number(a.saldofin), Number(a.importo_iva)}));
  return id;
}

void Ledger::Monthly(const Mensile& m) {
  std::string columns =
      "CG52_IDPROGA_CG53, CG52_DITTA_CG18, CG52_ANNO_CG53, CG52_PROGESER_CG53, CG52_GRUPPO_CG10,"
      " CG52_CONTO_CG24, CG52_TIPOCF_CG44, CG52_CLIFOR_CG44, CG52_CODICE_CG31, CG52_ANNOSOL,"
      " CG52_MESE, CG52_IMPORTODARE, CG52_IMPORTOAVERE, CG52_FATTURATO";
  std::vector<std::string> values = {
      Number(m.id_annuale), Number(m.ditta),    Number(m.anno),   "1",
      Number(m.gruppo),     Text(m.conto),      Number(m.tipocf), Number(m.clifor),
      Number(m.sede),       Number(m.annosol),  Number(m.mese),   Number(m.dare),
      Number(m.avere),      Number(m.fatturato)};
  // Without an identifier the table numbers the row.
  if (m.id != 0) {
    columns = "CG52_IDPROGM, " + columns;
    values.insert(values.begin(), Number(m.id));
  }
  db_.Run(Insert("CG52_PROGM", columns, values));
}

namespace {

// Companies 1 and 2 (Alfa and Beta), of chart groups 1 and 2, without VAT sections.
void Companies(Ledger& l) {
  l.Rows("CG18_DITTE",
         {{1, "Alfa", 1, 0, kNull, kNull, "PDC "}, {2, "Beta", 2, 0, kNull, kNull, "PDC "}});
}

}  // namespace

Ledger AccountLedger(const TestDatabase& db) {
  Ledger l(db, {});
  Companies(l);
  l.Rows("CG19_ESERCIZI", {{1, 2024, 1, "2024-01-01", "2024-12-31"},
                           {1, 2023, 1, "2023-01-01", "2023-12-31"},
                           {2, 2024, 1, "2024-07-01", "2025-06-30"}});
  l.Rows("CG24_TABPDC", {{1, "1001", "Cassa", 0},
                         {1, "4001", "Ricavi", 0},
                         {1, "1401", "Clienti", 0},
                         {1, "2901", "Patrimonio", 0},
                         {2, "1001", "Cassa B", 0}});
  l.Rows("CG33_TABCAU", {"CG33_CODICE", "CG33_DESCR", "CG33_FLGCOMP"},
         {{"001", "Ordinaria", 0},
          {"150", "Chiusura", 0},
          {"151", "Apertura", 0},
          {"900", "Rettifica", 1}});
  l.Rows("CG16_ANAGGEN",
         {{9, 1, kNull, "2024-06-30", "Rossi vecchia"}, {9, 2, "2024-07-01", kNull, "Rossi Spa"}});
  l.Rows("CG44_CLIFOR", {{1, 1, 5, 9, "USD"}});
  return l;
}

Ledger TurnoverLedger(const TestDatabase& db) {
  Ledger l(db, {.data_iva = "", .tipo_reg = 2, .tipo_oper = 3});
  Companies(l);
  l.Rows("CG19_ESERCIZI", {{1, 2024, 1, "2024-01-01", "2024-12-31"},
                           {1, 2023, 1, "2023-01-01", "2023-12-31"},
                           {2, 2024, 1, "2024-01-01", "2024-12-31"}});
  l.Rows("CG24_TABPDC", {{1, "1401", "Clienti", 0},
                         {1, "2401", "Fornitori", 0},
                         {1, "4001", "Ricavi", 1},
                         {1, "4002", "Ricavi estero", 1},
                         {1, "6001", "Costi", 1},
                         {1, "2601", "IVA vendite", 0},
                         {1, "1601", "IVA acquisti", 0},
                         {2, "4001", "Ricavi", 1}});
  l.Rows("CG33_TABCAU", {"CG33_CODICE", "CG33_DESCR", "CG33_INDTIPOREG"},
         {{"FV", "Fattura di vendita", 2},
          {"FA", "Fattura di acquisto", 1},
          {"NC", "Nota di credito", 2},
          {"CO", "Corrispettivi", 3},
          {"XX", "Fuori registro", 0}});
  return l;
}

Ledger VatRegisterLedger(const TestDatabase& db) {
  Ledger l(db, {.data_iva = "", .sezionale = "A", .causale_iva = 1});
  l.Rows("CG18_DITTE", {{1, "Alfa", 1, 0, kNull, kNull, "PDC "},
                        {2, "Beta", 2, 1, "2024-03-15", "2023-11-30", "PDC "}});
  l.Rows("CG33_TABCAU",
         {"CG33_CODICE", "CG33_DESCR", "CG33_CAUSALEIVA", "CG33_INDTIPOREG", "CG33_FLGFATTDIFF",
          "CG33_FLGSUBFORNI"},
         {{"FA", "Fattura acquisto", kNull, 1, 0, 0},
          {"FV", "Fattura vendita", kNull, 2, 0, 0},
          {"CO", "Corrispettivi", kNull, 3, 0, 0},
          {"FAD", "Acquisto differito", kNull, 1, 1, 0},
          {"FVD", "Vendita differita", kNull, 2, 1, 0},
          {"SUB", "Subfornitura", kNull, 2, 0, 1},
          {"INT", "Acquisto intra", "51  ", 1, 0, 0},
          {"RSM", "Acquisto San Marino", "41", 1, 0, 0},
          {"AUT", "Autofattura", " 62", 2, 0, 0},
          {"PAG", "Incasso", kNull, 0, 0, 0}});
  l.Rows("CG28_TABCODIVA", {"CG28_CODICE", "CG28_TIPOLOGIA", "CG28_FLGSOSPIMP", "CG28_ALIQIVAVENT"},
         {{"22", 1, 0, kNull},
          {"10", 1, 0, 0},
          {"S1", 1, 1, kNull},
          {"S2", 1, 2, kNull},
          {"S3", 1, 3, kNull},
          {"N1", 0, 1, kNull},
          {"V22", 1, 0, 22}});
  return l;
}

Ledger VatBookLedger(const TestDatabase& db) {
  Ledger l(
      db,
      {.prefisso = "IVA", .data_iva = "", .competenza = "", .causale = "001", .sezionale = "A"});
  Companies(l);
  l.Rows("CG19_ESERCIZI",
         {{1, 2024, 1, "2024-01-01", "2024-12-31"}, {2, 2024, 1, "2024-01-01", "2024-12-31"}});
  return l;
}

// Every stored account total, identity keys aside and null keys read as the ledger reads them,
// one line each, sorted: two snapshots compare equal when the totals are the same. The turnover
// and VAT amount columns (CG52_FATTURATO, CG53_IMPORTOIVA) are left out: the turnover rebuild
// owns them, and the account rebuild only writes 0 there.
std::string AccountTotals(db::Connection& conn) {
  const char* sql =
      "SELECT string_agg(x, chr(10) ORDER BY x) AS S FROM ( SELECT concat_ws('|', 'A', CG53_DITTA_CG18, CG53_ANNO_CG19, CG53_GRUPPO_CG10, COALESCE(CG53_CONTO_CG24, ''),  COALESCE(CG53_TIPOCF_CG44, 0), COALESCE(CG53_CLIFOR_CG44, 0), COALESCE(CG53_CODICE_CG31, 0),  CG53_SALDOAPE, CG53_RETTDARE, CG53_RETTAVERE, CG53_SALDOFIN, CG53_SALDOCHIU) AS x FROM CG53_PROGA UNION ALL SELECT concat_ws('|', 'V', CG53_DITTA_CG18, CG53_ANNO_CG19, COALESCE(CG53_CONTO_CG24, ''),  COALESCE(CG53_TIPOCF_CG44, 0), COALESCE(CG53_CLIFOR_CG44, 0), COALESCE(CG53_CODICE_CG31, 0),  CGV0_CODICE_CG08, CGV0_SALDOAPE, CGV0_RETTDARE, CGV0_RETTAVERE, CGV0_SALDOFIN, CGV0_SALDOCHIU,  CGV0_SALDOAPEEURO, CGV0_RETTDAREEURO, CGV0_RETTAVEREEURO, CGV0_SALDOFINEURO, CGV0_SALDOCHIUEURO) FROM CGV0_PROGAVAL JOIN CG53_PROGA ON CG53_IDPROGA = CGV0_IDPROGA_CG53 UNION ALL SELECT concat_ws('|', 'M', CG52_DITTA_CG18, CG52_ANNO_CG53, COALESCE(CG52_CONTO_CG24, ''),  COALESCE(CG52_TIPOCF_CG44, 0), COALESCE(CG52_CLIFOR_CG44, 0), COALESCE(CG52_CODICE_CG31, 0),  CG52_ANNOSOL, CG52_MESE, CG52_IMPORTODARE, CG52_IMPORTOAVERE,  CG52_IDPROGA_CG53 = CG53_IDPROGA) FROM CG52_PROGM JOIN CG53_PROGA ON CG53_IDPROGA = CG52_IDPROGA_CG53 UNION ALL SELECT concat_ws('|', 'W', CG52_DITTA_CG18, COALESCE(CG52_CONTO_CG24, ''), COALESCE(CG52_TIPOCF_CG44, 0),  COALESCE(CG52_CLIFOR_CG44, 0), COALESCE(CG52_CODICE_CG31, 0), CG52_ANNOSOL, CG52_MESE, CGV1_CODICE_CG08,  CGV1_IMPORTODARE, CGV1_IMPORTOAVERE, CGV1_IMPORTODAREEURO, CGV1_IMPORTOAVEREEURO,  CGV1_IDPROGA_CGV0 = CG52_IDPROGA_CG53) FROM CGV1_PROGMVAL JOIN CG52_PROGM ON CG52_IDPROGM = CGV1_IDPROGM_CG52) AS T";
  auto rs = db::Recordset::FromResult(conn.Query(sql), nullptr);
  return rs.Get("S").ToText();
}

std::string Righe(db::Recordset& rs) {
  std::string out;
  for (rs.MoveFirst(); !rs.eof(); rs.MoveNext()) {
    for (std::size_t f = 0; f < rs.fields().size(); ++f) {
      if (f > 0) out += '|';
      out += db::Trim(rs.Get(f).ToText());
    }
    out += '\n';
  }
  return out;
}

std::string Righe(db::Connection& conn, const std::string& sql) {
  auto rs = db::Recordset::FromResult(conn.Query(sql), nullptr);
  return Righe(rs);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    out.push_back(line);
  return out;
}

std::string Sorted(std::vector<std::string> lines) {
  std::sort(lines.begin(), lines.end());
  std::string out;
  for (const auto& l : lines)
    out += l + "\n";
  return out;
}

}  // namespace veriprog::testing
