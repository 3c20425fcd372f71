// What the generator's monthly VAT totals parts (plafond, special schemes) share: reading rows
// back, amounts in cents, and the activity a VAT registration belongs to, worked out from the
// activity and section masters as they stand in the database at Totals time.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "gen/ledger_writer.h"

namespace veriprog::gen {

// "-12.3" -> -1230; NULL -> 0. Throws on anything but a plain decimal with at most two places.
Cents ParseCents(const Opt& text);
int ParseInt(const Opt& text);

struct Activity {
  int id;
  int ditta;
  std::optional<int> code;
  int kind;                          // CG86_INDTIPO
  std::optional<Date> plafond_from;  // CG86_DATAINPLAFOND
};

// The activities and the sections' activities of every company, read back from the database.
class Activities {
 public:
  explicit Activities(db::Connection& conn);

  // The activity of a registration of `ditta` in `section` whose VAT date (or date) falls in
  // `year`: the section's activity for that year, or else the company's first kind-0 activity of
  // that VAT year (the lowest identifier: the generator writes activities in that order).
  // A registration without a section has no section's activity.
  const Activity* Of(int ditta, int year, const Opt& section) const;
  const Activity* Find(int id) const;

 private:
  std::map<int, Activity> by_id_;
  std::map<std::tuple<int, int, std::string>, std::optional<int>> sections_;
  std::map<std::pair<int, int>, int> first_kind0_;  // (ditta, VAT year) -> id
};

// A VAT line of a generated registration.
struct VatLine {
  int kind = 0;  // CG43_INDTIPO
  std::string code;
  Cents taxable = 0;
  Cents tax = 0;
  Cents nondeductible = 0;
};

// Registrations with VAT lines. The journal lines balance the customer (a sale) or the supplier
// (a purchase) against revenue or cost and VAT, the other way round for a credit note; the VAT
// lines wait, held, for Flush, since the journal streams on the connection meanwhile.
class VatRegistrations {
 public:
  std::string Add(LedgerWriter& w, const FiscalYearSpec& fy, Registration reg, bool sale,
                  const std::vector<VatLine>& lines);
  void Flush();

 private:
  std::unique_ptr<Rows> rows_;
};

// The section as the ledger compares it: trailing blanks do not count.
std::string TrimSection(const Opt& section);

}  // namespace veriprog::gen
