// What the generator's families work with. The core generator writes companies, fiscal years,
// the chart of accounts, customers and suppliers and the ordinary journal, and reckons the account
// totals; a family of operations adds its own masters, registrations and stored totals through a
// LedgerWriter, so that every registration it adds is in the journal and in the account totals
// exactly as the core's own are. Amounts are whole cents; nothing here is floating point money.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "gen/ledger_generator.h"

namespace veriprog::db {
class BulkWriter;
class Connection;
}  // namespace veriprog::db

namespace veriprog::gen {

using Cents = std::int64_t;
using Opt = std::optional<std::string>;  // a field as text; nullopt is NULL

struct Date {
  int y, m, d;
  static Date FromDays(int days);  // days since 1970-01-01
  int Days() const;
  std::string Text() const;  // YYYY-MM-DD
  auto operator<=>(const Date&) const = default;
};

std::string Money(Cents c);  // 1234 -> "12.34"

// The currencies customers and suppliers may be kept in, at fixed rates.
struct Currency {
  const char* code;
  Cents rate;  // euro per unit, in ten-thousandths
};
inline constexpr Currency kCurrencies[] = {{"USD", 9000}, {"CHF", 10500}, {"GBP", 11700}};
// A currency amount in euro at `rate`, to the cent, halves away from zero.
Cents ToEuro(Cents val, Cents rate);

inline Opt S(const std::string& s) {
  return s;
}
inline Opt N(std::int64_t n) {
  return std::to_string(n);
}

// Rows for one table through the connection's bulk writer. A held writer keeps its rows packed in
// a spool (gen/spool.h), out of memory, and sends them only at Finish, leaving the connection free
// meanwhile; a streaming one sends them as they come (over libpq the connection then runs nothing
// else until Finish). Dropped unfinished, neither sends anything more.
class Rows {
 public:
  Rows(db::Connection& conn, std::string table, std::vector<std::string> columns = {},
       bool streaming = false, std::string identity = {});
  ~Rows();
  void Row(std::initializer_list<Opt> values);
  void Row(std::span<const Opt> values);
  void Finish();

 private:
  struct Held;
  db::Connection& conn_;
  std::unique_ptr<db::BulkWriter>
      writer_;  // a streaming one's from the start, a held one's at Finish
  std::unique_ptr<Held> held_;
};

// Runs one T-SQL batch (the dialect layer carries it to PostgreSQL); throws with the server's
// message.
void Exec(db::Connection& conn, const std::string& sql);
// The rows of a query, each field as text: numbers with a point, dates YYYY-MM-DD (with the time
// when it is not midnight), nullopt for NULL; the same text whichever backend reads it.
std::vector<std::vector<Opt>> Query(db::Connection& conn, const std::string& sql);
// The same, a row at a time, without holding them all as text.
void ForEachRow(db::Connection& conn, const std::string& sql,
                const std::function<void(const std::vector<Opt>&)>& each);
// The rows of `columns` (`keys` of them the key) that `table` does not hold yet, written: the
// masters several parts of the generator add, each adding what the others have not.
void InsertMissing(db::Connection& conn, const std::string& table,
                   const std::vector<std::string>& columns, std::size_t keys,
                   const std::vector<std::vector<Opt>>& rows);

struct FiscalYearSpec {
  int ditta;
  int gruppo;
  int anno;
  int progressivo;
  Date start;
  Date end;
  double share;       // of the generated journal lines
  bool may_be_wrong;  // stored totals of this year may be made wrong on purpose
};

// A counterpart of a journal line: a plain account, a customer or a supplier.
struct Party {
  Opt conto;
  std::optional<int> tipocf;
  std::optional<int> clifor;
};

// A registration header. The VAT fields stay null on plain journal registrations.
struct Registration {
  std::string numreg = {};  // given by AddRegistration
  Date date = {};
  std::string causal = {};
  std::optional<int> branch = {};
  int tipomov = 0;  // 0 ordinary
  int provreg = 0;  // 0 definitive
  std::optional<Date> dataregiva = {};
  std::optional<Date> datacomp = {};
  std::optional<int> indtiporeg = {};  // 1 purchases, 2 sales, 3 receipts
  Opt sezionale = {};
  int flgsegnoiva = 0;   // 0: VAT amounts as they are; otherwise with the opposite sign
  Opt rifpadre = S("");  // the registration this one goes with
  std::optional<int> flgdelete = {};  // 1: marked deleted
};

struct Line {
  Party party;
  std::optional<int> branch;  // null: the registration's
  Opt currency;               // null: EURO
  int side;                   // 1 debit, 2 credit
  Cents eur;
  std::optional<Cents> val;  // in the line's currency
  // On VAT registrations: 1 the open item (customer or supplier), 2 the VAT account, 3 a
  // counter-account line; and the VAT line a counter-account line refers to.
  std::optional<int> tipooper = {};
  std::optional<int> progiva = {};
};

class LedgerWriter {
 public:
  virtual ~LedgerWriter() = default;
  virtual db::Connection& conn() = 0;
  virtual std::mt19937_64& rng() = 0;
  virtual const GeneratorOptions& options() const = 0;
  virtual const std::vector<FiscalYearSpec>& years() const = 0;
  virtual int customers() const = 0;  // customer codes 1..customers() of each company
  virtual int suppliers() const = 0;
  // Writes a registration and its lines into the journal and the account totals; returns its
  // number. Lines must balance (debits equal credits in euro), as every registration does.
  virtual std::string AddRegistration(const FiscalYearSpec& fy, Registration reg,
                                      const std::vector<Line>& lines) = 0;
  // Links a registration added during Journal to its parent (nullopt keeps none) and marks it
  // deleted or not; the header carries both when it is written.
  virtual void Link(const std::string& numreg, Opt rifpadre, std::optional<int> flgdelete) = 0;
  // Stored totals a family made wrong on purpose, listed for the demo and the tests.
  virtual void ReportWrong(WrongStored wrong) = 0;

  int Pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng()); }
  bool Chance(double p) { return std::bernoulli_distribution(p)(rng()); }
};

// A family's part of the ledger. The hooks run in this order, inside the generator's
// transaction: Masters once; Journal once per fiscal year, while the journal lines stream in
// (so a family holds its own rows until Totals); Totals once, after every line and header is
// written, when the family flushes its rows and writes its stored totals.
class FamilyGenerator {
 public:
  virtual ~FamilyGenerator() = default;
  virtual void Masters(LedgerWriter& /*w*/) {}
  virtual void Journal(LedgerWriter& /*w*/, const FiscalYearSpec& /*fy*/) {}
  virtual void Totals(LedgerWriter& /*w*/) {}
};

// The families that add to the generated ledger, in the order they run.
std::vector<std::unique_ptr<FamilyGenerator>> MakeFamilyGenerators();

// Companies 3 to `companies` as copies of companies 1 (odd codes) and 2 (even codes), in the
// generator's transaction, after every family has written its part (gen/companies.cc). A copied
// activity's identifier is CopiedActivity(the source's, the copy's company code).
inline constexpr int kActivityStride = 100000;
void CopyCompanies(db::Connection& conn, int companies);
int CopiedActivity(int activity, int ditta);
long long CountRows(db::Connection& conn, const std::string& table);

}  // namespace veriprog::gen
