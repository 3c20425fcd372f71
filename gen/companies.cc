// More companies on one server: companies 3, 4, ... copied from the two generated ones, table by
// table, under new codes. Whatever a table holds of a company is copied with it: the rows that
// carry its code, the rows of its activities and of its stored totals. The masters shared by every
// company (chart of accounts, causals, VAT codes, registry) stay as they are.
#include <cctype>
#include <climits>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "db/bulk_writer.h"
#include "gen/ledger_writer.h"

namespace veriprog::gen {
namespace {

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool CompanyColumn(const std::string& c) {
  return c == "cg18_ditta" || EndsWith(c, "_ditta_cg18") || EndsWith(c, "_dittacoll_cg18");
}
bool ActivityColumn(const std::string& c) {
  return c == "cg86_idattivita" || EndsWith(c, "_idattivita_cg86");
}
bool YearlyIdColumn(const std::string& c) {
  return c == "cg53_idproga" || c.find("_idproga_") != std::string::npos;
}
bool MonthlyIdColumn(const std::string& c) {
  return c == "cg52_idprogm" || c.find("_idprogm_") != std::string::npos;
}

long long Number(db::Connection& conn, const std::string& sql) {
  const auto rows = Query(conn, sql);
  if (rows.empty() || rows[0].empty() || !rows[0][0])
    throw std::runtime_error("generator: no number from " + sql);
  return std::stoll(*rows[0][0]);
}

// The rows whose `column` names a row of `table` (by `id`) of the source company. The owners are
// those of the two generated companies, read once and joined: a subquery for each copy would
// read the owner table, copies included, once per row copied.
std::string OwnedBy(const std::string& column, const std::string& id, const std::string& table,
                    const std::string& ditta) {
  return "EXISTS (SELECT 1 FROM (SELECT " + id + " AS OWNED_ID, " + ditta + " AS OWNER FROM " +
         table + " WHERE " + ditta + " IN (1, 2)) AS o WHERE o.OWNED_ID = " + column +
         " AND o.OWNER = m.SOURCE_DITTA)";
}

std::string Lower(std::string text) {
  for (char& c : text)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

int CopiedActivity(int activity, int ditta) {
  return activity + ditta * kActivityStride;
}

void CopyCompanies(db::Connection& conn, int companies) {
  if (companies <= 2) return;
  // The copies read what was just written in this transaction: without statistics the planner
  // would take the source tables for empty.
  db::UpdateStatistics(conn);
  // Identifiers of stored totals: each copy gets a range of its own above the generated ones.
  const long long yearly =
      Number(conn, "SELECT COALESCE(MAX(CG53_IDPROGA), 0) + 1 FROM CG53_PROGA");
  const long long monthly =
      Number(conn, "SELECT COALESCE(MAX(CG52_IDPROGM), 0) + 1 FROM CG52_PROGM");
  const long long activities =
      Number(conn, "SELECT COALESCE(MAX(CG86_IDATTIVITA), 0) FROM CG86_AZIENDECOLL");
  if (activities >= kActivityStride ||
      static_cast<long long>(companies) * std::max(yearly, monthly) >= INT_MAX ||
      static_cast<long long>(companies + 1) * kActivityStride >= INT_MAX) {
    throw std::runtime_error("generator: too many companies for a ledger of this size");
  }
  // The copies and their sources, as a table of the statements themselves.
  std::string copies = "(VALUES ";
  for (int ditta = 3; ditta <= companies; ++ditta) {
    copies += (ditta == 3 ? "" : ", ") + std::string("(") + std::to_string(ditta) + ", " +
              std::to_string(2 - ditta % 2) + ", 'Ditta " + std::to_string(ditta) + "')";
  }
  copies += ") AS m (NEW_DITTA, SOURCE_DITTA, NEW_NAME)";

  std::map<std::string, std::vector<std::string>> tables;  // in the order of their columns
  for (const auto& row :
       Query(conn,
             "SELECT c.TABLE_NAME, c.COLUMN_NAME FROM INFORMATION_SCHEMA.COLUMNS c "
             "JOIN INFORMATION_SCHEMA.TABLES t ON t.TABLE_SCHEMA = c.TABLE_SCHEMA "
             "AND t.TABLE_NAME = c.TABLE_NAME WHERE t.TABLE_TYPE = 'BASE TABLE' "
             "AND t.TABLE_SCHEMA NOT IN ('pg_catalog', 'information_schema') "
             "ORDER BY c.TABLE_NAME, c.ORDINAL_POSITION")) {
    if (!row[0] || !row[1]) continue;
    tables[Lower(*row[0])].push_back(Lower(*row[1]));
  }
  const std::string of_source = " = m.SOURCE_DITTA";
  for (const auto& [table, columns] : tables) {
    std::string owner;  // the condition that picks the source company's rows
    for (const auto& c : columns) {
      if (owner.empty() && CompanyColumn(c)) owner = "x." + c + of_source;
    }
    for (const auto& c : columns) {
      if (!owner.empty()) break;
      if (ActivityColumn(c)) {
        owner = OwnedBy("x." + c, "CG86_IDATTIVITA", "CG86_AZIENDECOLL", "CG86_DITTA_CG18");
      }
    }
    for (const auto& c : columns) {
      if (!owner.empty()) break;
      if (MonthlyIdColumn(c)) {
        owner = OwnedBy("x." + c, "CG52_IDPROGM", "CG52_PROGM", "CG52_DITTA_CG18");
      }
    }
    for (const auto& c : columns) {
      if (!owner.empty()) break;
      if (YearlyIdColumn(c)) {
        owner = OwnedBy("x." + c, "CG53_IDPROGA", "CG53_PROGA", "CG53_DITTA_CG18");
      }
    }
    if (owner.empty()) continue;  // a master every company shares

    std::string names, values;
    for (const auto& c : columns) {
      names += (names.empty() ? "" : ", ") + c;
      std::string value = "x." + c;
      if (table == "cg18_ditte" && c == "cg18_ragsoc") {
        value = "m.NEW_NAME";
      } else if (CompanyColumn(c)) {
        value = "CASE WHEN x." + c + of_source + " THEN m.NEW_DITTA ELSE x." + c + " END";
      } else if (ActivityColumn(c)) {
        value = "x." + c + " + m.NEW_DITTA * " + std::to_string(kActivityStride);
      } else if (MonthlyIdColumn(c)) {
        value = "x." + c + " + (m.NEW_DITTA - 2) * " + std::to_string(monthly);
      } else if (YearlyIdColumn(c)) {
        value = "x." + c + " + (m.NEW_DITTA - 2) * " + std::to_string(yearly);
      }
      values += (values.empty() ? "" : ", ") + value;
    }
    const std::string insert = "INSERT INTO " + table + " (" + names + ") SELECT " + values +
                               " FROM " + table + " AS x CROSS JOIN " + copies + " WHERE " + owner;
    if (table == "cg53_proga" || table == "cg52_progm") {
      db::WithExplicitIdentity(conn, table, table == "cg53_proga" ? "cg53_idproga" : "cg52_idprogm",
                               [&] { Exec(conn, insert); });
    } else {
      Exec(conn, insert);
    }
  }
}

long long CountRows(db::Connection& conn, const std::string& table) {
  return Number(conn, "SELECT COUNT(*) FROM " + table);
}

}  // namespace veriprog::gen
