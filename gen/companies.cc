// More companies on one server: companies 3, 4, ... copied from the two generated ones, table by
// table, under new codes. Whatever a table holds of a company is copied with it: the rows that
// carry its code, the rows of its activities and of its stored totals. The masters shared by every
// company (chart of accounts, causals, VAT codes, registry) stay as they are.
#include <libpq-fe.h>

#include <climits>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "gen/ledger_writer.h"
#include "gen/pg_result.h"

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

std::vector<std::vector<std::string>> Rows(pg_conn* conn, const std::string& sql) {
  const PgResult r(PQexec(conn, sql.c_str()));
  if (PQresultStatus(r.get()) != PGRES_TUPLES_OK)
    throw std::runtime_error("generator: " + std::string(PQerrorMessage(conn)));
  std::vector<std::vector<std::string>> rows;
  for (int i = 0; i < PQntuples(r.get()); ++i) {
    auto& row = rows.emplace_back();
    for (int j = 0; j < PQnfields(r.get()); ++j)
      row.emplace_back(PQgetvalue(r.get(), i, j));
  }
  return rows;
}

long long Number(pg_conn* conn, const std::string& sql) {
  return std::stoll(Rows(conn, sql).at(0).at(0));
}

}  // namespace

int CopiedActivity(int activity, int ditta) {
  return activity + ditta * kActivityStride;
}

void CopyCompanies(pg_conn* conn, int companies) {
  if (companies <= 2) return;
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
  Exec(conn,
       "CREATE TEMPORARY TABLE COPIED_COMPANIES (NEW_DITTA integer, SOURCE_DITTA integer) "
       "ON COMMIT DROP");
  Exec(conn, "INSERT INTO COPIED_COMPANIES SELECT g, 2 - g % 2 FROM generate_series(3, " +
                 std::to_string(companies) + ") g");

  std::map<std::string, std::vector<std::string>> tables;  // in the order of their columns
  for (const auto& row :
       Rows(conn,
            "SELECT c.table_name, c.column_name FROM information_schema.columns c "
            "JOIN information_schema.tables t USING (table_schema, table_name) "
            "WHERE t.table_schema = current_schema() AND t.table_type = 'BASE TABLE' "
            "ORDER BY c.table_name, c.ordinal_position")) {
    tables[row[0]].push_back(row[1]);
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
        owner = "x." + c +
                " IN (SELECT CG86_IDATTIVITA FROM CG86_AZIENDECOLL WHERE CG86_DITTA_CG18" +
                of_source + ")";
      }
    }
    for (const auto& c : columns) {
      if (!owner.empty()) break;
      if (MonthlyIdColumn(c)) {
        owner = "x." + c + " IN (SELECT CG52_IDPROGM FROM CG52_PROGM WHERE CG52_DITTA_CG18" +
                of_source + ")";
      }
    }
    for (const auto& c : columns) {
      if (!owner.empty()) break;
      if (YearlyIdColumn(c)) {
        owner = "x." + c + " IN (SELECT CG53_IDPROGA FROM CG53_PROGA WHERE CG53_DITTA_CG18" +
                of_source + ")";
      }
    }
    if (owner.empty()) continue;  // a master every company shares

    std::string names, values;
    for (const auto& c : columns) {
      names += (names.empty() ? "" : ", ") + c;
      std::string value = "x." + c;
      if (CompanyColumn(c)) {
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
    Exec(conn, "INSERT INTO " + table + " (" + names + ") SELECT " + values + " FROM " + table +
                   " AS x CROSS JOIN COPIED_COMPANIES AS m WHERE " + owner);
  }
  Exec(conn, "UPDATE CG18_DITTE SET CG18_RAGSOC = 'Ditta ' || CG18_DITTA WHERE CG18_DITTA > 2");
  Exec(conn,
       "SELECT setval(pg_get_serial_sequence('cg53_proga', 'cg53_idproga'), "
       "(SELECT MAX(CG53_IDPROGA) FROM CG53_PROGA))");
  Exec(conn,
       "SELECT setval(pg_get_serial_sequence('cg52_progm', 'cg52_idprogm'), "
       "(SELECT MAX(CG52_IDPROGM) FROM CG52_PROGM))");
}

long long CountRows(pg_conn* conn, const std::string& table) {
  return Number(conn, "SELECT count(*) FROM " + table);
}

}  // namespace veriprog::gen
