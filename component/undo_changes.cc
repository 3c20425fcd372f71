// The undo of a rebuild: its change set's before-values written back, once every touched row is
// found still as the rebuild left it.
#include <algorithm>
#include <map>
#include <memory>
#include <set>

#include "component/connect.h"
#include "component/stored_tables.h"
#include "component/undo_statements.h"
#include "frame/ledger_lock.h"
#include "veriprog/change_set.h"
#include "veriprog/error.h"

namespace veriprog {
namespace {

// A change of the set, placed in its table: key and whole rows before and after in the table's
// column order (nullopt where the row is not there).
struct Touched {
  const StoredTable* table;
  const RowChange* change;
  std::string text;  // the key's matching text
  std::vector<db::Variant> key;
  std::optional<std::vector<db::Variant>> before, after;
  std::string Shown() const { return table->name + " " + KeyShown(change->key); }
};

// Refused before anything is written: why, in words.
struct Refused {
  std::string why;
};

// The change set's rows in their tables, checked for being whole: a change set that does not
// fit the family's tables (another version, another family, values missing) is refused.
std::vector<Touched> Place(const ChangeSet& changes, const std::vector<StoredTable>& tables) {
  std::vector<Touched> out;
  std::set<std::string> seen;
  for (const TableDiff& d : changes.diffs) {
    const StoredTable* table = nullptr;
    for (const StoredTable& t : tables) {
      if (t.name == d.table) table = &t;
    }
    if (!table) throw Refused{d.table + " is not one of the " + changes.family + " totals"};
    for (const RowChange& c : d.changes) {
      Touched t{table, &c, {}, {}, {}, {}};
      if (c.key.size() != table->key.size()) throw Refused{t.Shown() + ": not the table's key"};
      for (std::size_t i = 0; i < c.key.size(); ++i) {
        if (c.key[i].first != table->key[i]) throw Refused{t.Shown() + ": not the table's key"};
        t.key.push_back(c.key[i].second);
      }
      t.text = KeyText(t.key);
      if (!seen.insert(table->name + '\x1d' + t.text).second) {
        throw Refused{t.Shown() +
                      ": the key repeats in the change set; which row is which cannot be told"};
      }
      std::map<std::string, const ValueChange*> values;
      for (const ValueChange& v : c.values)
        values[v.column] = &v;
      std::vector<db::Variant> before, after;
      for (const std::string& column : table->values) {
        auto it = values.find(column);
        if (it == values.end()) {
          throw Refused{t.Shown() + ": the change set lacks " + column +
                        ", so the whole row cannot be checked"};
        }
        before.push_back(it->second->before);
        after.push_back(it->second->after);
      }
      if (values.size() != table->values.size())
        throw Refused{t.Shown() + ": columns the table does not have"};
      if (c.kind != "inserted") t.before = std::move(before);
      if (c.kind != "deleted") t.after = std::move(after);
      out.push_back(std::move(t));
    }
  }
  return out;
}

// Whether the stored rows hold what `want` says for each touched key (after: as the rebuild left
// them; before: as the undo must leave them); the keys that do not, with what they hold.
std::vector<std::string> Differences(db::Connection& c, const std::vector<StoredTable>& tables,
                                     const std::vector<Touched>& touched, bool after) {
  std::map<std::string, std::map<std::string, const TableRows::Row*>> now;
  std::vector<TableRows> read(tables.size());
  for (std::size_t i = 0; i < tables.size(); ++i) {
    read[i] = ReadTable(c, tables[i]);
    for (const auto& [text, row] : read[i].rows)
      now[tables[i].name][text] = &row;
  }
  std::vector<std::string> out;
  for (const Touched& t : touched) {
    const auto& rows = now[t.table->name];
    if (rows.count(t.text + "#2")) {
      out.push_back(t.Shown() +
                    ": the key repeats in the table; which row is which cannot be told");
      continue;
    }
    const auto& want = after ? t.after : t.before;
    auto it = rows.find(t.text);
    if (!want) {
      if (it != rows.end()) out.push_back(t.Shown() + ": the row is there again");
      continue;
    }
    if (it == rows.end()) {
      out.push_back(t.Shown() + ": the row is gone");
      continue;
    }
    for (std::size_t i = 0; i < t.table->values.size(); ++i) {
      if (!SameValue((*want)[i], it->second->values[i])) {
        out.push_back(t.Shown() + ": " + t.table->values[i] + " is " +
                      it->second->values[i].ToText() + ", " + (after ? "the rebuild left " : "") +
                      (*want)[i].ToText() + (after ? "" : " expected"));
        break;
      }
    }
  }
  return out;
}

// Runs one statement that must write exactly one row.
void WriteOne(db::Connection& c, const std::string& sql, const Touched& t) {
  std::int64_t rows = 0;
  c.Execute(sql, &rows);
  if (rows != 1) {
    throw db::DbError(t.Shown() + ": " + std::to_string(rows) +
                      " rows written back where one was expected");
  }
}

}  // namespace

UndoResult UndoChanges(CLSCG_VERIPROG& main, const ChangeSet& changes) {
  UndoResult result;
  if (!main.CPInput()) {
    result.stato = tsParametriNonValidi;
    result.errore = "no parameter object";
    return result;
  }
  std::vector<Touched> touched;
  const DryRunScope scope{changes.ditta, changes.esercizio, changes.progressivo, changes.anno};
  std::vector<StoredTable> tables;
  try {
    tables = StoredTablesOf(changes.family, scope);
    if (tables.empty()) throw Refused{"no stored totals of a family named " + changes.family};
    touched = Place(changes, tables);
    // In the family's order of tables, parents before their children, whatever the set's order.
    auto index = [&](const Touched& t) { return t.table - tables.data(); };
    std::stable_sort(touched.begin(), touched.end(),
                     [&](const Touched& a, const Touched& b) { return index(a) < index(b); });
  } catch (const Refused& r) {
    result.stato = tsParametriNonValidi;
    result.errore = "the change set cannot be undone: " + r.why;
    return result;
  } catch (const std::exception& e) {
    result.stato = tsProgramError;
    result.errore = e.what();
    return result;
  }
  if (touched.empty()) return result;

  CLSCG_VERIPROGINPUT& in = *main.CPInput();
  std::shared_ptr<db::Connection> c = in.GConnect;
  Refusal refused;
  const RunLimits& limits = main.Limits();
  if (!c && !(c = ConnectOrRefuse(in.SConnect.ToText(), refused,
                                  {.statement_timeout = limits.statement_timeout}))) {
    result.stato = refused.stato;
    result.errore = refused.errore;
    return result;
  }
  if (c->in_transaction()) {
    result.stato = tsParametriNonValidi;
    result.errore =
        "the connection is already inside a transaction: the undo commits a transaction of its "
        "own, and would take the caller's work with it";
    return result;
  }
  const std::string company = std::to_string(changes.ditta);
  const std::string resource = "veriprog ditta " + company;
  bool locked = false;
  try {
    // The company's lock, as a rebuild takes it: no rebuild writes between the check and the
    // writing back.
    WaitForLock(*c, resource, true, limits, company);
    locked = true;
    c->BeginTrans();
    result.moved = Differences(*c, tables, touched, true);
    if (!result.moved.empty()) {
      c->RollbackTrans();
      result.stato = tsParametriNonValidi;
      result.errore = std::to_string(result.moved.size()) +
                      (result.moved.size() == 1 ? " row" : " rows") +
                      " the rebuild wrote changed since: nothing was written back";
    } else {
      const UndoStatements sql(tables);
      // Children before their parents go, parents before their children come back.
      for (auto t = touched.rbegin(); t != touched.rend(); ++t) {
        if (t->change->kind == "inserted") WriteOne(*c, sql.Delete(*t->table, t->key), *t);
      }
      for (const Touched& t : touched) {
        if (t.change->kind == "updated") WriteOne(*c, sql.Update(*t.table, t.key, *t.before), t);
      }
      for (const Touched& t : touched) {
        if (t.change->kind == "deleted") WriteOne(*c, sql.Insert(*t.table, t.key, *t.before), t);
      }
      // What was written back is read back: every touched key as it was before the rebuild.
      const auto wrong = Differences(*c, tables, touched, false);
      if (!wrong.empty()) throw db::DbError("written back, but " + wrong.front());
      c->CommitTrans();
      result.rows = static_cast<std::int64_t>(touched.size());
    }
  } catch (const std::exception& e) {
    result.stato = tsProgramError;
    result.errore = std::string(e.what()) + " in UndoChanges";
    result.moved.clear();
    result.rows = 0;
  }
  try {
    if (c->in_transaction()) c->RollbackTrans();
  } catch (const std::exception& e) {
    result.rollback_error = e.what();
  }
  try {
    if (locked) c->Unlock(resource, true);
  } catch (...) {
    // The session ends with its connection, and its locks with it.
  }
  return result;
}

}  // namespace veriprog
