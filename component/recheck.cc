#include "veriprog/recheck.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <thread>

#include "db/text.h"
#include "veriprog/connection.h"

namespace veriprog {
namespace {

bool Interrupted(const CLSCG_VERIPROG& main) {
  const auto& in = main.CPInput();
  return in && in->GConnect && in->GConnect->interrupted();
}

// Waits `seconds`, looking at the connection every little while: an interrupt (Ctrl-C, a host's
// stop) ends the pause at once. False when it did.
bool Pause(const CLSCG_VERIPROG& main, double seconds) {
  using Clock = std::chrono::steady_clock;
  if (!(seconds > 0)) seconds = 0;  // NaN too
  seconds = std::min(seconds, kMaxRecheckSeconds);
  const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                           std::chrono::duration<double>(seconds));
  constexpr auto kLook = std::chrono::milliseconds(50);
  for (;;) {
    if (Interrupted(main)) return false;
    const auto now = Clock::now();
    if (now >= deadline) return true;
    std::this_thread::sleep_for(std::min<Clock::duration>(kLook, deadline - now));
  }
}

bool Flagged(const db::Recordset& rows, std::size_t flag) {
  return !db::Trim(rows.Get(flag).ToText()).empty();
}

}  // namespace

Recheck RecheckFlagged(CLSCG_VERIPROG& main, const OperationInfo& op, const OperationParameters& p,
                       const Outcome& first, const RecheckOptions& options) {
  Recheck r;
  try {
    if (first.stato != tsOk || first.flagged == 0 || !first.rows) return r;
    for (Finding& f : FlaggedFindings(op, p, *first.rows))
      r.findings.push_back({std::move(f), false, {}});
    if (options.during_pause) options.during_pause();
    if (!Pause(main, options.pause_seconds)) {
      r.interrupted = true;
      r.second.stato = tsProgramError;
      r.second.errore = "operazione interrotta";
      return r;
    }
    r.second = RunOperation(main, op, p.include_stored);
    if (r.second.stato != tsOk || !r.second.counted || !r.second.rows) {
      r.interrupted = Interrupted(main);
      return r;
    }
    // Same key, flagged again: the difference stands, whatever its amounts are now.
    std::map<std::string, std::string> again;
    for (Finding& f : FlaggedFindings(op, p, *r.second.rows))
      again.emplace(std::move(f.key), std::move(f.amounts));
    for (RecheckedFinding& f : r.findings) {
      const auto it = again.find(f.first.key);
      f.confirmed = it != again.end();
      if (f.confirmed) f.amounts = it->second;
      ++(f.confirmed ? r.confirmed : r.transient);
    }
    r.done = true;
  } catch (const std::exception& e) {
    r.done = false;
    r.second.stato = tsProgramError;
    r.second.errore = e.what();
  }
  return r;
}

std::shared_ptr<db::Recordset> RecheckedRows(const Recheck& recheck, const OperationInfo& op,
                                             const OperationParameters& p, db::Recordset& rows) {
  try {
    std::map<std::string, bool> verdicts;
    if (recheck.done) {
      for (const RecheckedFinding& f : recheck.findings)
        verdicts.emplace(f.first.key, f.confirmed);
    }
    auto out = std::make_shared<db::Recordset>();
    const std::size_t n = rows.fields().size();
    for (const db::FieldDef& f : rows.fields())
      out->AppendField(f);
    out->AppendField(db::FieldDef::VarChar("RECHECK", 9));
    out->Open();
    const auto flag = rows.FieldIndex("FLAGSBIL");
    for (rows.MoveFirst(); !rows.eof(); rows.MoveNext()) {
      out->AddNew();
      for (std::size_t i = 0; i < n; ++i)
        out->Set(i, rows.Get(i));
      if (flag && Flagged(rows, *flag)) {
        const auto it = verdicts.find(KeyOfRow(op, p, rows));
        if (it != verdicts.end()) out->Set(n, db::Variant(it->second ? "confirmed" : "transient"));
      }
      out->Update();
    }
    if (rows.RecordCount() > 0) rows.MoveFirst();
    if (out->RecordCount() > 0) out->MoveFirst();
    return out;
  } catch (const std::exception&) {
    return nullptr;
  }
}

}  // namespace veriprog
