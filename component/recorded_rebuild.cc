// The rebuild that records what it writes, its plan (a dry run that keeps the change set and the
// journal's fingerprint), and the comparison of a plan with what a rebuild would write.
#include <map>

#include "component/rebuild_session.h"
#include "veriprog/change_set.h"

namespace veriprog {
namespace {

std::string Counted(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::vector<std::pair<std::string, db::Variant>> KeyValues(const RowChange& c) {
  return c.key;
}

std::string KeyTextOf(const RowChange& c) {
  std::vector<db::Variant> values;
  for (const auto& [column, value] : c.key)
    values.push_back(value);
  return KeyText(values);
}

// Whether two changes of one key agree by kind and by every value listed.
std::optional<std::string> ChangeDiffers(const RowChange& plan, const RowChange& done) {
  if (plan.kind != done.kind) return "the plan says " + plan.kind + ", now " + done.kind;
  std::map<std::string, const ValueChange*> now;
  for (const ValueChange& v : done.values)
    now[v.column] = &v;
  if (now.size() != plan.values.size()) return std::string("other columns change");
  for (const ValueChange& v : plan.values) {
    auto it = now.find(v.column);
    if (it == now.end()) return v.column + " does not change now";
    const bool before = v.before.is_empty() == it->second->before.is_empty() &&
                        (v.before.is_empty() || SameValue(v.before, it->second->before));
    const bool after = v.after.is_empty() == it->second->after.is_empty() &&
                       (v.after.is_empty() || SameValue(v.after, it->second->after));
    if (!before || !after) {
      return v.column + ": the plan says " + v.before.ToText() + " -> " + v.after.ToText() +
             ", now " + it->second->before.ToText() + " -> " + it->second->after.ToText();
    }
  }
  return std::nullopt;
}

}  // namespace

std::int64_t ChangeSet::Rows() const {
  std::int64_t n = 0;
  for (const TableDiff& d : diffs)
    n += d.inserted + d.updated + d.deleted;
  return n;
}

bool SameScope(const ChangeSet& a, const ChangeSet& b) {
  return a.operation == b.operation && a.family == b.family && a.ditta == b.ditta &&
         a.esercizio == b.esercizio && a.progressivo == b.progressivo && a.anno == b.anno &&
         a.branch == b.branch && a.per_activity == b.per_activity &&
         a.activity_code == b.activity_code && a.activity == b.activity;
}

std::optional<std::string> DifferenceFrom(const ChangeSet& plan, const ChangeSet& done) {
  std::map<std::string, const TableDiff*> tables;
  for (const TableDiff& d : done.diffs)
    tables[d.table] = &d;
  std::size_t unlisted = 0, missing = 0, other = 0;
  std::string first_unlisted, first_missing, first_other;
  std::map<std::string, bool> planned_tables;
  for (const TableDiff& p : plan.diffs) {
    planned_tables[p.table] = true;
    std::map<std::string, const RowChange*> now;
    if (auto it = tables.find(p.table); it != tables.end()) {
      for (const RowChange& c : it->second->changes)
        now[KeyTextOf(c)] = &c;
    }
    for (const RowChange& c : p.changes) {
      auto it = now.find(KeyTextOf(c));
      if (it == now.end()) {
        if (!missing++) first_missing = p.table + " " + KeyShown(KeyValues(c));
        continue;
      }
      if (auto why = ChangeDiffers(c, *it->second)) {
        if (!other++) first_other = p.table + " " + KeyShown(KeyValues(c)) + ": " + *why;
      }
      now.erase(it);
    }
    for (const auto& [text, c] : now) {
      if (!unlisted++) first_unlisted = p.table + " " + KeyShown(KeyValues(*c));
    }
  }
  for (const TableDiff& d : done.diffs) {
    if (planned_tables.count(d.table)) continue;
    for (const RowChange& c : d.changes) {
      if (!unlisted++) first_unlisted = d.table + " " + KeyShown(KeyValues(c));
    }
  }
  std::string why;
  auto add = [&](const std::string& part) { why += (why.empty() ? "" : "; ") + part; };
  if (unlisted) {
    add("the rebuild would change " + Counted(unlisted, "row", "rows") +
        " the plan does not list (first: " + first_unlisted + ")");
  }
  if (missing) {
    add("the plan lists " + Counted(missing, "row", "rows") +
        " the rebuild would leave alone (first: " + first_missing + ")");
  }
  if (other) {
    add(Counted(other, "row", "rows") +
        " would change otherwise than planned (first: " + first_other + ")");
  }
  if (why.empty()) return std::nullopt;
  return why;
}

std::vector<TableDiff> ChangedValuesOnly(const std::vector<TableDiff>& diffs) {
  std::vector<TableDiff> out = diffs;
  for (TableDiff& d : out) {
    for (RowChange& c : d.changes) {
      if (c.kind != "updated") continue;
      std::erase_if(c.values, [](const ValueChange& v) { return SameValue(v.before, v.after); });
    }
  }
  return out;
}

RecordedRebuild PlanRebuild(CLSCG_VERIPROG& main, const OperationInfo& op) {
  return RunRebuildSession(main, op, {.all_values = true, .fingerprint = true});
}

RecordedRebuild RebuildRecorded(CLSCG_VERIPROG& main, const OperationInfo& op,
                                const ChangeSet* plan) {
  if (plan && main.CPInput()) {
    RecordedRebuild refused;
    const auto scope = ScopeOf(op, *main.CPInput());
    if (!scope || !SameScope(*plan, ChangeSetHeader(op, *main.CPInput(), *scope))) {
      refused.outcome.stato = tsParametriNonValidi;
      const OperationInfo* planned = FindOperation(plan->operation);
      const std::string period = plan->anno != 0 ? std::to_string(plan->anno)
                                                 : std::to_string(plan->esercizio) + "/" +
                                                       std::to_string(plan->progressivo);
      refused.outcome.errore =
          "the plan is for rebuild " + std::string(planned ? planned->family : "?") + ", company " +
          std::to_string(plan->ditta) + ", " + period +
          (plan->branch ? ", branch " + std::to_string(*plan->branch) : std::string()) +
          "; this is rebuild " + op.family + " with other parameters: it does not apply";
      return refused;
    }
  }
  RebuildSession session{.what = "a recorded rebuild",
                         .ends = "commits or rolls back",
                         .all_values = true,
                         .fingerprint = plan != nullptr};
  session.decide = [plan](const ChangeSet& done) -> std::string {
    if (!plan) return "";
    if (done.fingerprint != plan->fingerprint) return "the journal changed since the plan was made";
    if (auto why = DifferenceFrom(*plan, done)) return *why;
    return "";
  };
  return RunRebuildSession(main, op, session);
}

}  // namespace veriprog
