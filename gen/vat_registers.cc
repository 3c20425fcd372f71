// The VAT registers' part of the generated ledger: VAT causals and codes, sections and their
// activities, and registrations with their VAT lines: purchases, sales and receipts, credit notes,
// deferred invoices across the year end, subcontracting, amateur sports associations, intra-EU and
// San Marino purchases with their self-invoices, standalone self-invoices, suspended VAT paid
// later, publishing receipts and their payments, ventilation purchases, provisional and
// non-ordinary registrations that the totals ignore.
//
// The stored monthly VAT register totals (CG59_PROGIVAM) are then reckoned here, apart from the
// component: plain joins read back every VAT line, payment and master row in the database,
// whichever part of the generator wrote them, and the register types are worked out line by line
// in plain arithmetic. A chosen number of them is made wrong on purpose and listed.
#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "db/bulk_writer.h"
#include "gen/ledger_writer.h"

namespace veriprog::gen {
namespace {

// --- what is written ------------------------------------------------------------------------

struct VatCode {
  const char* code;
  int rate;  // per cent
  int tipologia;
  int sospimp;
  std::optional<int> vent;  // related sales code of a ventilation purchase
};
constexpr VatCode kCodes[] = {
    {"I22", 22, 1, 0, std::nullopt}, {"I10", 10, 1, 0, std::nullopt},
    {"I04", 4, 1, 0, std::nullopt},  {"IES", 0, 2, 0, std::nullopt},  // exempt
    {"IS1", 22, 1, 1, std::nullopt},                                  // deferred, public body
    {"IS2", 22, 1, 2, std::nullopt},                                  // deferred, other company
    {"IS3", 22, 1, 3, std::nullopt},                                  // split payment
    {"ISN", 22, 0, 1, std::nullopt},  // deferred, but a neutral code: chargeability 0
    {"IVV", 22, 1, 0, 22},            // ventilation purchase
};
const VatCode& Code(const char* name) {
  for (const auto& c : kCodes) {
    if (std::string_view(c.code) == name) return c;
  }
  throw std::logic_error("generator: unknown VAT code");
}

// Sections: 'V' belongs to a ventilation activity.
constexpr const char* kSections[] = {"A", "B", "V"};

Cents Percent(Cents amount, int percent) {
  const Cents p = amount * percent;
  return (p + (p >= 0 ? 50 : -50)) / 100;
}

struct VatLine {
  const char* code;
  int causaleiva;
  std::optional<int> indtipo;
  Cents imponibile;
  Cents imposta;
  std::optional<Cents> impostand;
};

// --- reading back -----------------------------------------------------------------------------

Cents ParseCents(const char* text) {
  if (text == nullptr || *text == '\0') return 0;
  const bool neg = *text == '-';
  if (neg || *text == '+') ++text;
  Cents units = 0, cents = 0;
  int fraction = -1;
  for (; *text != '\0'; ++text) {
    if (*text == '.') {
      fraction = 0;
      continue;
    }
    const int digit = *text - '0';
    if (fraction < 0) {
      units = units * 10 + digit;
    } else if (fraction < 2) {
      cents = cents * 10 + digit;
      ++fraction;
    }
  }
  while (fraction >= 0 && fraction < 2) {
    cents *= 10;
    ++fraction;
  }
  const Cents value = units * 100 + cents;
  return neg ? -value : value;
}

std::string RTrim(std::string s) {
  while (!s.empty() && s.back() == ' ')
    s.pop_back();
  return s;
}
std::string Trim(std::string s) {
  s = RTrim(std::move(s));
  const auto first = s.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : s.substr(first);
}

// One fetched row: its fields by position, null as nullopt.
class Row {
 public:
  explicit Row(const std::vector<Opt>& fields) : fields_(fields) {}
  bool Null(int f) const { return !At(f); }
  std::string Text(int f) const { return At(f).value_or(""); }
  std::optional<int> Int(int f) const {
    if (Null(f)) return std::nullopt;
    return std::atoi(At(f)->c_str());
  }
  Cents Money(int f) const { return Null(f) ? 0 : ParseCents(At(f)->c_str()); }
  // 'YYYY-MM-DD': year and month.
  std::optional<std::pair<int, int>> YearMonth(int f) const {
    if (Null(f)) return std::nullopt;
    const std::string& t = *At(f);
    return std::pair{std::atoi(t.substr(0, 4).c_str()), std::atoi(t.substr(5, 2).c_str())};
  }

 private:
  const Opt& At(int f) const { return fields_[static_cast<std::size_t>(f)]; }
  const std::vector<Opt>& fields_;
};

// Runs a query and hands each row to `each`.
void ForEachRow(db::Connection& conn, const std::string& sql,
                const std::function<void(const Row&)>& each) {
  gen::ForEachRow(conn, sql, [&](const std::vector<Opt>& fields) { each(Row(fields)); });
}

// A stored total's key, as CG59_PROGIVAM keys it.
struct Key {
  int ditta;
  int anno;
  int tipo;
  std::string sezionale;
  std::string codice;
  int tipoiva;
  int mese;
  auto operator<=>(const Key&) const = default;
};
using Amounts = std::array<Cents, 3>;  // taxable, tax, non-deductible tax

struct Causal {
  std::string iva;  // the VAT causal it stands for, trimmed
  std::optional<int> fattdiff;
  std::optional<int> subforni;
};
struct CodeInfo {
  std::optional<int> tipologia;
  std::optional<int> sospimp;
  std::optional<int> vent;
};
struct Company {
  bool sections = false;
  std::optional<std::pair<int, int>> activation;  // year, month
  std::optional<std::pair<int, int>> last_print;
};

// Works the register totals out from what the database holds.
class Reckoning {
 public:
  explicit Reckoning(db::Connection& conn) : conn_(conn) { LoadMasters(); }

  std::map<Key, Amounts> Run() {
    VatLines();
    SuspendedPayments();
    PublishingPayments();
    return std::move(totals_);
  }

 private:
  void LoadMasters() {
    ForEachRow(
        conn_,
        "SELECT CG18_DITTA, CG18_FLGGESTSEZIVA, CG18_DATAATTSEZIVA, CG18_DATAULTSTAMPARIEP "
        "FROM CG18_DITTE",
        [&](const Row& r) {
          companies_[*r.Int(0)] = {r.Int(1).value_or(0) == 1, r.YearMonth(2), r.YearMonth(3)};
        });
    ForEachRow(conn_,
               "SELECT CG33_CODICE, COALESCE(CG33_CAUSALEIVA, CG33_CODICE), CG33_FLGFATTDIFF, "
               "CG33_FLGSUBFORNI FROM CG33_TABCAU",
               [&](const Row& r) {
                 causals_[RTrim(r.Text(0))] = {Trim(r.Text(1)), r.Int(2), r.Int(3)};
               });
    ForEachRow(conn_,
               "SELECT CG28_CODICE, CG28_TIPOLOGIA, CG28_FLGSOSPIMP, CG28_ALIQIVAVENT FROM "
               "CG28_TABCODIVA",
               [&](const Row& r) {
                 codes_[RTrim(r.Text(0))] = {r.Int(1), r.Int(2), r.Int(3)};
               });
    // The ventilation flag of a section in a year: its own activity, or else the company's first
    // activity of that VAT year.
    std::map<int, int> indvent;                         // activity -> CG86_INDVENT
    std::map<std::pair<int, int>, int> first_activity;  // (company, year) -> activity
    ForEachRow(conn_,
               "SELECT CG86_IDATTIVITA, CG86_DITTACOLL_CG18, CG86_ANNOIVA, CG86_INDTIPO, "
               "CG86_INDVENT FROM CG86_AZIENDECOLL ORDER BY CG86_IDATTIVITA",
               [&](const Row& r) {
                 const int id = *r.Int(0);
                 indvent[id] = r.Int(4).value_or(-1);
                 if (r.Int(1) && r.Int(2) && r.Int(3).value_or(-1) == 0)
                   first_activity.try_emplace({*r.Int(1), *r.Int(2)}, id);
               });
    ForEachRow(conn_,
               "SELECT CG32_DITTA_CG18, CG32_ANNO, CG32_SEZIONALE, CG32_IDATTIVITA_CG86 FROM "
               "CG32_ANADITTAPSEZ",
               [&](const Row& r) {
                 const int ditta = *r.Int(0);
                 const int anno = *r.Int(1);
                 std::optional<int> activity = r.Int(3);
                 if (!activity) {
                   auto it = first_activity.find({ditta, anno});
                   if (it != first_activity.end()) activity = it->second;
                 }
                 const bool vent = activity && indvent.count(*activity) && indvent[*activity] == 1;
                 if (vent) ventilation_.insert({ditta, anno, RTrim(r.Text(2))});
               });
  }

  // Whether month m of year y of the company falls in the summary section's window.
  bool InSummary(int ditta, int y, int m) const {
    auto it = companies_.find(ditta);
    const Company c = it == companies_.end() ? Company{} : it->second;
    auto month_of = [y](const std::pair<int, int>& ym) {
      return ym.first < y ? 0 : ym.first > y ? 13 : ym.second;
    };
    if (!c.sections) return true;     // months 0 .. 13
    if (!c.activation) return false;  // no activation month: no summary rows
    const int from = month_of(*c.activation);
    const int to = c.last_print ? month_of(*c.last_print) : 0;
    return from <= m && m <= to;
  }

  void Add(int ditta, int anno, std::optional<int> tipo, const std::string& sezionale,
           const std::string& codice, std::optional<int> tipoiva, int mese, const Amounts& a) {
    // A key the stored totals cannot hold (no register type, section or VAT type) stays out.
    if (!tipo || !tipoiva || sezionale.empty()) return;
    auto add = [&](const std::string& sez) {
      Amounts& t = totals_[{ditta, anno, *tipo, sez, codice, *tipoiva, mese}];
      for (int i = 0; i < 3; ++i)
        t[i] += a[i];
    };
    add(sezionale);
    if (InSummary(ditta, anno, mese)) add("RP");
  }

  void VatLines() {
    ForEachRow(
        conn_,
        "SELECT H.CG41_DITTA_CG18, H.CG41_DATAREG, H.CG41_DATAREGIVA, H.CG41_INDTIPOMOV, "
        "H.CG41_INDPROVREG, H.CG41_INDTIPOREG, H.CG41_SEZIONALE, H.CG41_FLGSEGNOIVA, "
        "H.CG41_FLGDELETE, H.CG41_RIFPADRE, H.CG41_CODICE_CG33, P.CG41_CODICE_CG33, "
        "CASE WHEN E.CGE0_NUMREG_CG41 IS NOT NULL THEN 1 ELSE 0 END, CG43_INDTIPO, CG43_ALIQIVA1_CG28, CG43_CAUSALEIVA, "
        "CG43_IMPONIBILE, CG43_IMPOSTA, CG43_IMPOSTAND "
        "FROM CG43_MOVIVA "
        "JOIN CG41_PRIMANOTA H ON H.CG41_DITTA_CG18 = CG43_DITTA_CG18 "
        "AND H.CG41_NUMREG = CG43_NUMREG_CG41 "
        "LEFT JOIN CG41_PRIMANOTA P ON P.CG41_DITTA_CG18 = H.CG41_DITTA_CG18 "
        "AND P.CG41_NUMREG = H.CG41_RIFPADRE "
        "LEFT JOIN CGE0_DOCEDITORIA E ON E.CGE0_DITTA_CG18 = H.CG41_DITTA_CG18 "
        "AND E.CGE0_NUMREG_CG41 = H.CG41_NUMREG",
        [&](const Row& r) { VatLine(r); });
  }

  void VatLine(const Row& r) {
    if (r.Int(3) != 0 || r.Int(4) != 0) return;  // ordinary, definitive registrations only
    const auto causal = causals_.find(RTrim(r.Text(10)));
    const auto code = codes_.find(RTrim(r.Text(14)));
    if (causal == causals_.end() || code == codes_.end()) return;
    const Causal& c = causal->second;
    const CodeInfo& v = code->second;
    // The date that places the line: the VAT date, or the registration date for a deferred
    // invoice's causal.
    std::optional<std::pair<int, int>> when;
    if (c.fattdiff == 0) when = r.YearMonth(2);
    if (c.fattdiff == 1) when = r.YearMonth(1);
    if (!when) return;
    const auto [anno, mese] = *when;

    const int ditta = *r.Int(0);
    const std::optional<int> reg = r.Int(5);
    const std::string sezionale = RTrim(r.Text(6));
    const Cents sign = r.Int(7).value_or(0) == 0 ? 1 : -1;
    const bool testata = r.Int(8).value_or(0) == 0;
    const bool has_parent = !Trim(r.Text(9)).empty();
    std::string parent_causal;
    if (has_parent && !r.Null(11)) {
      auto p = causals_.find(RTrim(r.Text(11)));
      if (p != causals_.end()) parent_causal = p->second.iva;
    }
    const std::optional<int> indtipo = r.Int(13);
    const std::string codice = RTrim(r.Text(14));
    const std::optional<int> tipoiva = r.Int(15);
    const Amounts a = {sign * r.Money(16), sign * r.Money(17), sign * r.Money(18)};

    const bool intra_parent = parent_causal == "51" || parent_causal == "52";
    const bool intra = testata ? (has_parent && intra_parent) : (c.iva == "51" || c.iva == "52");
    static const std::set<std::string> kSanMarino = {"41", "42", "91", "92",
                                                     "96", "97", "93", "94"};
    const bool rsm = testata && has_parent && kSanMarino.count(parent_causal) > 0;
    const bool self_invoice = c.iva == "62" && !has_parent;
    const bool suspended = v.sospimp.value_or(0) != 0;
    int esig = 0;
    if (v.tipologia == 1 && v.sospimp && *v.sospimp >= 0 && *v.sospimp <= 3) esig = *v.sospimp;
    const bool publishing = r.Int(12) == 1;
    const int vat_year = r.YearMonth(2) ? r.YearMonth(2)->first : r.YearMonth(1)->first;
    const bool ventilation =
        v.vent.value_or(0) != 0 && ventilation_.count({ditta, vat_year, sezionale});

    auto add = [&](std::optional<int> tipo) {
      Add(ditta, anno, tipo, sezionale, codice, tipoiva, mese, a);
    };
    add(reg);
    if (reg == 1 && ventilation) add(4);
    if (reg == 1 && intra) add(12);
    if (reg == 1 && suspended) add(esig == 2 ? 90 : 6);
    if (reg == 2 && suspended) add(esig == 1 ? 7 : esig == 2 ? 91 : 88);
    if (reg == 3 && suspended) add(esig == 2 ? 92 : 8);
    if (testata && intra) add(13);
    if (testata && rsm) add(14);
    if (reg == 2 && c.subforni == 1) add(18);
    if (reg == 1 && indtipo == 22) add(22);
    if ((reg == 2 || reg == 3) && indtipo == 35) add(35);
    if (reg == 1 && c.fattdiff == 1) add(15);
    if (reg == 2 && c.fattdiff == 1) add(16);
    if (self_invoice) add(14);
    if (reg == 3 && publishing) add(19);
  }

  // Payments of suspended-VAT documents: dated by the payment, under the document's register
  // type and section.
  void SuspendedPayments() {
    ForEachRow(
        conn_,
        "SELECT PAG.CG41_DITTA_CG18, PAG.CG41_DATAREG, PAG.CG41_INDTIPOMOV, PAG.CG41_INDPROVREG, "
        "DOC.CG41_INDTIPOREG, DOC.CG41_SEZIONALE, DOC.CG41_FLGSEGNOIVA, CG48_CODICE_CG28, "
        "CG48_CAUSALEIVA, CG50_CODICE_CG28, CG50_IMPONIBILE, CG50_IMPOSTA "
        "FROM CG50_MOVPAGSOSP "
        "JOIN CG49_PAGSOSP ON CG49_DITTA_CG18 = CG50_DITTA_CG18 "
        "AND CG49_NUMREG_CG41 = CG50_NUMREG_CG41 AND CG49_NUMPAG = CG50_NUMPAG_CG49 "
        "JOIN CG41_PRIMANOTA PAG ON PAG.CG41_DITTA_CG18 = CG49_DITTA_CG18 "
        "AND PAG.CG41_NUMREG = CG49_REGPN_CG41 "
        "JOIN CG48_MOVSOSP ON CG48_DITTA_CG18 = CG50_DITTA_CG18 "
        "AND CG48_NUMREG_CG41 = CG50_NUMREG_CG41 AND CG48_PROGRIGA = CG50_PROGRIGA_CG48 "
        "JOIN CG41_PRIMANOTA DOC ON DOC.CG41_DITTA_CG18 = CG49_DITTA_CG18 "
        "AND DOC.CG41_NUMREG = CG49_NUMREG_CG41",
        [&](const Row& r) {
          if (r.Int(2) != 0 || r.Int(3) != 0) return;
          const auto code = codes_.find(RTrim(r.Text(9)));
          if (code == codes_.end()) return;
          const int esig = code->second.sospimp.value_or(0);
          const auto [anno, mese] = *r.YearMonth(1);
          const Cents sign = r.Int(6).value_or(0) == 0 ? 1 : -1;
          const std::optional<int> reg = r.Int(4);
          std::optional<int> tipo;
          if (reg == 1) tipo = esig == 2 ? 93 : 9;
          if (reg == 2) tipo = esig == 1 ? 10 : esig == 2 ? 94 : 89;
          if (reg == 3) tipo = esig == 2 ? 95 : 11;
          Add(*r.Int(0), anno, tipo, RTrim(r.Text(5)), RTrim(r.Text(7)), r.Int(8), mese,
              {sign * r.Money(10), sign * r.Money(11), 0});
        });
  }

  // Payments of publishing documents registered among receipts.
  void PublishingPayments() {
    ForEachRow(
        conn_,
        "SELECT PAG.CG41_DITTA_CG18, PAG.CG41_DATAREG, PAG.CG41_INDTIPOMOV, PAG.CG41_INDPROVREG, "
        "DOC.CG41_INDTIPOREG, DOC.CG41_SEZIONALE, DOC.CG41_FLGSEGNOIVA, CGE1_CODICE_CG28, "
        "CGE1_CAUSALEIVA, CGE3_IMPONIBILE, CGE3_IMPOSTA "
        "FROM CGE3_MOVPAGEDITORIA "
        "JOIN CGE2_PAGEDITORIA ON CGE2_DITTA_CG18 = CGE3_DITTA_CG18 "
        "AND CGE2_NUMREG_CG41 = CGE3_NUMREG_CG41 "
        "JOIN CG41_PRIMANOTA PAG ON PAG.CG41_DITTA_CG18 = CGE2_DITTA_CG18 "
        "AND PAG.CG41_NUMREG = CGE2_REGPN_CG41 "
        "JOIN CGE1_MOVEDITORIA ON CGE1_DITTA_CG18 = CGE3_DITTA_CG18 "
        "AND CGE1_NUMREG_CG41 = CGE3_NUMREG_CG41 AND CGE1_PROGRIGA = CGE3_PROGRIGA_CGE1 "
        "JOIN CG41_PRIMANOTA DOC ON DOC.CG41_DITTA_CG18 = CGE2_DITTA_CG18 "
        "AND DOC.CG41_NUMREG = CGE2_NUMREG_CG41",
        [&](const Row& r) {
          if (r.Int(2) != 0 || r.Int(3) != 0 || r.Int(4) != 3) return;
          const auto [anno, mese] = *r.YearMonth(1);
          const Cents sign = r.Int(6).value_or(0) == 0 ? 1 : -1;
          Add(*r.Int(0), anno, 20, RTrim(r.Text(5)), RTrim(r.Text(7)), r.Int(8), mese,
              {sign * r.Money(9), sign * r.Money(10), 0});
        });
  }

  db::Connection& conn_;
  std::map<int, Company> companies_;
  std::map<std::string, Causal> causals_;
  std::map<std::string, CodeInfo> codes_;
  std::set<std::tuple<int, int, std::string>> ventilation_;  // company, year, section
  std::map<Key, Amounts> totals_;
};

// --- the family --------------------------------------------------------------------------------

class VatRegisters final : public FamilyGenerator {
 public:
  void Masters(LedgerWriter& w) override {
    db::Connection& c = w.conn();
    // Other parts of the generator may know some of these rows already: only the missing ones
    // are added. The reckoning reads what the database holds, whoever wrote it.
    InsertMissing(c, "CG33_TABCAU",
                  {"CG33_CODICE", "CG33_DESCR", "CG33_CAUSALEIVA", "CG33_INDTIPOREG",
                   "CG33_FLGFATTDIFF", "CG33_FLGSUBFORNI"},
                  1,
                  {{S("IA01"), S("Fattura di acquisto"), std::nullopt, N(1), N(0), N(0)},
                   {S("IV01"), S("Fattura di vendita"), std::nullopt, N(2), N(0), N(0)},
                   {S("IC01"), S("Corrispettivi"), std::nullopt, N(3), N(0), N(0)},
                   {S("IA02"), S("Fattura di acquisto differita"), std::nullopt, N(1), N(1), N(0)},
                   {S("IV02"), S("Fattura di vendita differita"), std::nullopt, N(2), N(1), N(0)},
                   {S("IV03"), S("Vendita con subfornitura"), std::nullopt, N(2), N(0), N(1)},
                   {S("IA51"), S("Acquisto intracomunitario"), S("51"), N(1), N(0), N(0)},
                   {S("IA41"), S("Acquisto da San Marino"), S("41"), N(1), N(0), N(0)},
                   {S("IV62"), S("Autofattura"), S("62"), N(2), N(0), N(0)},
                   {S("IP01"), S("Incasso o pagamento"), std::nullopt, N(0), N(0), N(0)}});
    std::vector<std::vector<Opt>> codes;
    for (const auto& v : kCodes) {
      codes.push_back({S(v.code), S(std::string("IVA ") + v.code), N(v.tipologia), N(v.sospimp),
                       v.vent ? N(*v.vent) : std::nullopt});
    }
    InsertMissing(
        c, "CG28_TABCODIVA",
        {"CG28_CODICE", "CG28_DESCR", "CG28_TIPOLOGIA", "CG28_FLGSOSPIMP", "CG28_ALIQIVAVENT"}, 1,
        codes);
    // Company 1: section 'V' belongs to a ventilation activity of its own; company 2: its
    // sections name no activity, so the company's first activity of the VAT year counts.
    InsertMissing(c, "CG86_AZIENDECOLL",
                  {"CG86_IDATTIVITA", "CG86_DITTA_CG18", "CG86_DITTACOLL_CG18", "CG86_CODATTIVITA",
                   "CG86_ANNOIVA", "CG86_INDTIPO", "CG86_INDVENT"},
                  1,
                  {{N(9101), N(1), N(1), N(91), N(2024), N(0), N(1)},
                   {N(9102), N(1), N(1), N(92), N(2024), N(0), N(0)},
                   {N(9103), N(1), N(1), N(91), N(2023), N(0), N(1)},
                   {N(9201), N(2), N(2), N(91), N(2024), N(0), N(1)},
                   {N(9202), N(2), N(2), N(91), N(2025), N(0), N(1)}});
    std::vector<std::vector<Opt>> sections;
    for (int ditta : {1, 2}) {
      for (int anno : {2023, 2024, 2025}) {
        for (const char* s : kSections) {
          Opt activity;
          if (ditta == 1) activity = N(std::string(s) == "V" ? (anno == 2023 ? 9103 : 9101) : 9102);
          sections.push_back({N(ditta), N(anno), S(s), activity});
        }
      }
    }
    InsertMissing(c, "CG32_ANADITTAPSEZ",
                  {"CG32_DITTA_CG18", "CG32_ANNO", "CG32_SEZIONALE", "CG32_IDATTIVITA_CG86"}, 3,
                  sections);
    vat_ = std::make_unique<Rows>(
        c, "CG43_MOVIVA",
        std::vector<std::string>{"CG43_DITTA_CG18", "CG43_NUMREG_CG41", "CG43_NUMRIGAIVA",
                                 "CG43_INDTIPO", "CG43_ALIQIVA1_CG28", "CG43_CAUSALEIVA",
                                 "CG43_IMPONIBILE", "CG43_IMPOSTA", "CG43_IMPOSTAND"});
    cg48_ = std::make_unique<Rows>(c, "CG48_MOVSOSP");
    cg49_ = std::make_unique<Rows>(c, "CG49_PAGSOSP");
    cg50_ = std::make_unique<Rows>(c, "CG50_MOVPAGSOSP");
    cge0_ = std::make_unique<Rows>(c, "CGE0_DOCEDITORIA");
    cge1_ = std::make_unique<Rows>(c, "CGE1_MOVEDITORIA");
    cge2_ = std::make_unique<Rows>(c, "CGE2_PAGEDITORIA");
    cge3_ = std::make_unique<Rows>(c, "CGE3_MOVPAGEDITORIA");
  }

  // About one VAT line for every two journal lines of the fiscal year.
  void Journal(LedgerWriter& w, const FiscalYearSpec& fy) override {
    const auto target =
        static_cast<std::int64_t>(static_cast<double>(w.options().lines) * fy.share / 2.0);
    const int span = fy.end.Days() - fy.start.Days();
    for (std::int64_t written = 0; written < std::max<std::int64_t>(target, 40);) {
      const Date date = Date::FromDays(fy.start.Days() + w.Pick(0, span));
      const double kind = std::uniform_real_distribution<double>(0, 1)(w.rng());
      if (kind < 0.30) {
        written += Purchase(w, fy, date, "IA01");
      } else if (kind < 0.62) {
        written += Sale(w, fy, date);
      } else if (kind < 0.74) {
        written += Receipts(w, fy, date);
      } else if (kind < 0.80) {
        written += Deferred(w, fy, date);
      } else if (kind < 0.84) {
        written += Document(w, fy, Header(w, date, "IV03", 2), SaleLines(w, false));
      } else if (kind < 0.90) {
        written += ForeignPurchase(w, fy, date, "IA51");
      } else if (kind < 0.93) {
        written += ForeignPurchase(w, fy, date, "IA41");
      } else if (kind < 0.95) {
        written += Document(w, fy, Header(w, date, "IV62", 2), {NewVatLine(w, "I22", 1)});
      } else {
        // Outside the totals: provisional, or not an ordinary movement.
        Registration reg = Header(w, date, "IV01", 2);
        (w.Chance(0.5) ? reg.provreg : reg.tipomov) = 1;
        written += Document(w, fy, reg, SaleLines(w, false));
      }
    }
  }

  void Totals(LedgerWriter& w) override {
    db::Connection& c = w.conn();
    for (auto* rows : {&vat_, &cg48_, &cg49_, &cg50_, &cge0_, &cge1_, &cge2_, &cge3_})
      (*rows)->Finish();
    db::UpdateStatistics(c, {"CG43_MOVIVA"});  // the headers were analysed with the journal

    std::map<Key, Amounts> totals = Reckoning(c).Run();
    MakeWrong(w, totals);
    Rows stored(c, "CG59_PROGIVAM");
    for (const auto& [k, a] : totals) {
      stored.Row({N(k.ditta), N(k.anno), N(k.mese), N(k.tipo), S(k.sezionale), S(k.codice),
                  N(k.tipoiva), S(Money(a[0])), S(Money(a[1])), S(Money(a[2]))});
    }
    stored.Finish();
    db::UpdateStatistics(c, {"CG59_PROGIVAM"});
  }

 private:
  // --- registrations --------------------------------------------------------------------------

  Registration Header(LedgerWriter& w, Date date, const char* causal, int register_type) {
    Registration reg;
    reg.date = date;
    reg.causal = causal;
    reg.dataregiva = date;
    reg.indtiporeg = register_type;
    reg.sezionale = S(kSections[w.Pick(0, 1)]);
    reg.flgsegnoiva = w.Chance(0.08) ? 1 : 0;  // a credit note
    return reg;
  }

  VatLine NewVatLine(LedgerWriter& w, const char* code, int causaleiva) {
    const VatCode& v = Code(code);
    const Cents taxable = w.Pick(1000, 500000);
    return {code, causaleiva, std::nullopt, taxable, Percent(taxable, v.rate), std::nullopt};
  }

  std::vector<VatLine> SaleLines(LedgerWriter& w, bool may_suspend) {
    static constexpr const char* kPlain[] = {"I22", "I22", "I10", "I04", "IES"};
    static constexpr const char* kSuspended[] = {"IS1", "IS2", "IS3", "ISN"};
    std::vector<VatLine> lines;
    const int count = w.Pick(1, 3);
    const bool suspended = may_suspend && w.Chance(0.08);
    for (int i = 0; i < count; ++i) {
      const char* code = suspended ? kSuspended[w.Pick(0, 3)] : kPlain[w.Pick(0, 4)];
      lines.push_back(NewVatLine(w, code, w.Chance(0.85) ? 1 : w.Pick(2, 3)));
    }
    return lines;
  }

  int Purchase(LedgerWriter& w, const FiscalYearSpec& fy, Date date, const char* causal) {
    Registration reg = Header(w, date, causal, 1);
    const bool ventilation = w.Chance(0.1);
    if (ventilation) reg.sezionale = S("V");
    std::vector<VatLine> lines;
    const int count = w.Pick(1, 3);
    for (int i = 0; i < count; ++i) {
      static constexpr const char* kPlain[] = {"I22", "I10", "I04", "IES"};
      VatLine l = NewVatLine(w, ventilation ? "IVV" : kPlain[w.Pick(0, 3)], w.Chance(0.9) ? 1 : 2);
      if (w.Chance(0.1)) l.impostand = Percent(l.imposta, 40);
      if (w.Chance(0.05)) l.indtipo = 22;  // amateur sports association
      lines.push_back(l);
    }
    if (!ventilation && w.Chance(0.04)) {  // suspended VAT, paid later
      lines = {NewVatLine(w, w.Chance(0.5) ? "IS1" : "IS2", 1)};
      const std::string numreg = AddDocument(w, fy, reg, lines);
      SuspendedPayments(w, fy, reg, numreg, lines);
      return 1;
    }
    return Document(w, fy, reg, lines);
  }

  int Sale(LedgerWriter& w, const FiscalYearSpec& fy, Date date) {
    Registration reg = Header(w, date, "IV01", 2);
    std::vector<VatLine> lines = SaleLines(w, true);
    if (w.Chance(0.04)) lines.front().indtipo = 35;
    const std::string numreg = AddDocument(w, fy, reg, lines);
    if (Code(lines.front().code).sospimp != 0) SuspendedPayments(w, fy, reg, numreg, lines);
    return static_cast<int>(lines.size());
  }

  int Receipts(LedgerWriter& w, const FiscalYearSpec& fy, Date date) {
    Registration reg = Header(w, date, "IC01", 3);
    reg.flgsegnoiva = 0;
    std::vector<VatLine> lines = {NewVatLine(w, w.Chance(0.7) ? "I22" : "I10", 1)};
    if (w.Chance(0.1)) lines.front().indtipo = 35;
    if (w.Chance(0.05)) {  // suspended, paid later
      lines.push_back(NewVatLine(w, w.Chance(0.5) ? "IS1" : "IS2", 1));
    }
    const bool publishing = w.Chance(0.08);
    const std::string numreg = AddDocument(w, fy, reg, lines);
    if (lines.size() > 1) SuspendedPayments(w, fy, reg, numreg, {lines.back()}, 2);
    if (publishing) {
      cge0_->Row({N(fy.ditta), S(numreg)});
      const Date paid = PaymentDate(w, fy, date);
      const std::string payment = Payment(w, fy, paid, Total(lines));
      cge2_->Row({N(fy.ditta), S(numreg), S(payment)});
      for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto n = static_cast<std::int64_t>(i + 1);
        cge1_->Row({N(fy.ditta), S(numreg), N(n), S(lines[i].code), N(lines[i].causaleiva)});
        cge3_->Row({N(fy.ditta), S(numreg), N(n), S(Money(lines[i].imponibile)),
                    S(Money(lines[i].imposta))});
      }
    }
    return static_cast<int>(lines.size());
  }

  // Registered in one month, in the VAT register the next: December's land in January.
  int Deferred(LedgerWriter& w, const FiscalYearSpec& fy, Date date) {
    if (w.Chance(0.3)) date = Date{date.y, 12, w.Pick(1, 31)};
    if (date > fy.end) date = fy.end;
    const Date vat_date = Date::FromDays(date.Days() + w.Pick(5, 25));
    if (w.Chance(0.5)) {
      Registration reg = Header(w, date, "IA02", 1);
      reg.dataregiva = vat_date;
      return Document(w, fy, reg, {NewVatLine(w, "I22", 1)});
    }
    Registration reg = Header(w, date, "IV02", 2);
    reg.dataregiva = vat_date;
    return Document(w, fy, reg, SaleLines(w, false));
  }

  // An intra-EU or San Marino purchase and the self-invoice that goes with it; now and then
  // the purchase is marked deleted, when only its own causal counts.
  int ForeignPurchase(LedgerWriter& w, const FiscalYearSpec& fy, Date date, const char* causal) {
    Registration reg = Header(w, date, causal, 1);
    std::vector<VatLine> lines = {NewVatLine(w, "I22", 1)};
    const std::string parent = AddDocument(w, fy, reg, lines);
    if (w.Chance(0.15)) {
      w.Link(parent, std::nullopt, 1);
      return 1;
    }
    if (w.Chance(0.3)) w.Link(parent, std::nullopt, 0);
    Registration child = Header(w, date, "IV62", 2);
    child.sezionale = reg.sezionale;
    child.flgsegnoiva = 0;
    const std::string numreg = AddDocument(w, fy, child, lines);
    w.Link(numreg, S(parent), w.Chance(0.5) ? std::optional<int>(0) : std::nullopt);
    return 2;
  }

  static Cents Total(const std::vector<VatLine>& lines) {
    Cents total = 0;
    for (const auto& l : lines)
      total += l.imponibile + l.imposta;
    return total;
  }

  int Document(LedgerWriter& w, const FiscalYearSpec& fy, Registration reg,
               const std::vector<VatLine>& lines) {
    AddDocument(w, fy, std::move(reg), lines);
    return static_cast<int>(lines.size());
  }

  // The registration with its journal lines (counterpart, taxable, tax) and its VAT lines.
  std::string AddDocument(LedgerWriter& w, const FiscalYearSpec& fy, Registration reg,
                          const std::vector<VatLine>& lines) {
    Cents taxable = 0, tax = 0, nondeductible = 0;
    for (const auto& l : lines) {
      taxable += l.imponibile;
      tax += l.imposta;
      nondeductible += l.impostand.value_or(0);
    }
    const int reg_type = reg.indtiporeg.value_or(2);
    const bool purchase = reg_type == 1;
    Party counterpart = reg_type == 3 ? Party{S("1001"), 0, 0}
                        : purchase    ? Party{S("2401"), 2, w.Pick(1, w.suppliers())}
                                      : Party{S("1401"), 1, w.Pick(1, w.customers())};
    // Purchases put cost and VAT in debit; sales and receipts in credit. A credit note turns
    // every side round.
    int side = purchase ? 1 : 2;
    if (reg.flgsegnoiva != 0) side = 3 - side;
    // The open item, the cost or revenue (on the first VAT line) and the VAT account.
    std::vector<Line> journal = {
        {counterpart, std::nullopt, std::nullopt, 3 - side, taxable + tax, std::nullopt, 1},
        {Party{S(purchase ? "6001" : "4001"), 0, 0}, std::nullopt, std::nullopt, side,
         taxable + nondeductible, std::nullopt, 3, 1}};
    if (tax - nondeductible != 0) {
      journal.push_back({Party{S("2001"), 0, 0}, std::nullopt, std::nullopt, side,
                         tax - nondeductible, std::nullopt, 2});
    }
    const std::string numreg = w.AddRegistration(fy, reg, journal);
    int n = 0;
    for (const auto& l : lines) {
      vat_->Row({N(fy.ditta), S(numreg), N(++n), l.indtipo ? N(*l.indtipo) : std::nullopt,
                 S(l.code), N(l.causaleiva), S(Money(l.imponibile)), S(Money(l.imposta)),
                 l.impostand ? S(Money(*l.impostand)) : std::nullopt});
    }
    return numreg;
  }

  // A payment date some weeks on, in a fiscal year of the company when one holds it.
  Date PaymentDate(LedgerWriter& w, const FiscalYearSpec& fy, Date from) {
    const Date paid = Date::FromDays(from.Days() + w.Pick(10, 120));
    return paid > fy.end ? fy.end : paid;
  }

  std::string Payment(LedgerWriter& w, const FiscalYearSpec& fy, Date date, Cents amount) {
    Registration reg{.date = date, .causal = "IP01"};
    return w.AddRegistration(
        fy, reg,
        {{Party{S("1002"), 0, 0}, std::nullopt, std::nullopt, 1, amount, std::nullopt},
         {Party{S("1401"), 1, w.Pick(1, w.customers())}, std::nullopt, std::nullopt, 2, amount,
          std::nullopt}});
  }

  // The suspended lines of a document and one or two payments that make their VAT chargeable.
  void SuspendedPayments(LedgerWriter& w, const FiscalYearSpec& fy, const Registration& reg,
                         const std::string& numreg, const std::vector<VatLine>& lines,
                         int first_line = 1) {
    const int payments = w.Chance(0.3) ? 2 : 1;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      cg48_->Row({N(fy.ditta), S(numreg), N(first_line + static_cast<int>(i)), S(lines[i].code),
                  N(lines[i].causaleiva)});
    }
    Date date = reg.date;
    for (int p = 1; p <= payments; ++p) {
      date = PaymentDate(w, fy, date);
      Cents total = 0;
      std::vector<std::pair<Cents, Cents>> parts;
      for (const auto& l : lines) {
        const Cents t = payments == 1 ? l.imponibile
                        : p == 1      ? l.imponibile / 2
                                      : l.imponibile - l.imponibile / 2;
        const Cents v = payments == 1 ? l.imposta
                        : p == 1      ? l.imposta / 2
                                      : l.imposta - l.imposta / 2;
        parts.emplace_back(t, v);
        total += t + v;
      }
      const std::string payment = Payment(w, fy, date, total);
      cg49_->Row({N(fy.ditta), S(numreg), N(p), S(payment)});
      for (std::size_t i = 0; i < lines.size(); ++i) {
        cg50_->Row({N(fy.ditta), S(numreg), N(p), N(first_line + static_cast<int>(i)),
                    S(lines[i].code), S(Money(parts[i].first)), S(Money(parts[i].second))});
      }
    }
  }

  // --- wrong on purpose ---------------------------------------------------------------------

  void MakeWrong(LedgerWriter& w, std::map<Key, Amounts>& totals) {
    std::vector<Key> candidates;
    for (const auto& [k, a] : totals) {
      for (const auto& fy : w.years()) {
        if (fy.may_be_wrong && fy.ditta == k.ditta && fy.start.y <= k.anno && k.anno <= fy.end.y) {
          candidates.push_back(k);
          break;
        }
      }
    }
    std::shuffle(candidates.begin(), candidates.end(), w.rng());
    const int wanted = std::min<int>(w.options().wrong, static_cast<int>(candidates.size()));
    int made = 0;
    for (std::size_t i = 0; i < candidates.size() && made < wanted; ++i) {
      Key k = candidates[i];
      const double how = std::uniform_real_distribution<double>(0, 1)(w.rng());
      std::string what;
      if (how < 0.2) {
        totals.erase(k);
        what = "stored row missing";
      } else if (how < 0.35 && k.mese < 12) {
        // A stray row in a month the journal leaves empty for this key.
        Key stray = k;
        while (stray.mese < 12 && totals.count(stray) > 0)
          ++stray.mese;
        if (totals.count(stray) > 0) continue;
        totals[stray] = {Cents{w.Pick(100, 99999)}, 0, 0};
        k = stray;
        what = "stray stored row";
      } else {
        static constexpr const char* kColumns[] = {"CG59_IMPONIBILE", "CG59_IMPOSTA",
                                                   "CG59_IMPOSTAND"};
        const int column = w.Pick(0, 2);
        const Cents delta = w.Pick(1, 10000) * (w.Chance(0.5) ? 1 : -1);
        totals[k][static_cast<std::size_t>(column)] += delta;
        what = std::string(kColumns[column]) + " " + (delta > 0 ? "+" : "") + Money(delta);
      }
      char key[160];
      std::snprintf(key, sizeof key,
                    "register type %d, section %s, VAT code %s, VAT type %d, month %d", k.tipo,
                    k.sezionale.c_str(), k.codice.c_str(), k.tipoiva, k.mese);
      w.ReportWrong({"vat", k.ditta, k.anno, key, what});
      ++made;
    }
  }

  std::unique_ptr<Rows> vat_, cg48_, cg49_, cg50_, cge0_, cge1_, cge2_, cge3_;
};

}  // namespace

std::unique_ptr<FamilyGenerator> MakeVatRegistersGenerator() {
  return std::make_unique<VatRegisters>();
}

}  // namespace veriprog::gen
