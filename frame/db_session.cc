// The connection the operations work on, and the transaction a rebuild brackets its steps in.
#include "frame/frame.h"
#include "frame/sql_values.h"
#include "veriprog/error.h"

namespace veriprog {

bool Frame::CreaConnessione() {
  CausaConnessione.clear();
  const bool ok = GuardValue("CreaConnessione", false, [&] {
    if (CPInput->GConnect) return true;  // the host's connection, used as it is
    if (CPInput->SConnect.ToText().empty()) {
      Stato = tsParametriNonValidi;
      Errore = "Non è stata definita la stringa di connessione";
      return false;
    }
    CPInput->GConnect =
        db::Connect(CPInput->SConnect.ToText(), {.statement_timeout = limits.statement_timeout});
    return true;
  });
  if (!ok) CausaConnessione = Errore;  // the frame's own message takes its place in Errore
  return ok;
}

void Frame::IniziaTransazione() {
  Guard("IniziaTransazione", [&] {
    if (!CPInput->EseguiTransazione || TransazioneAperta) return;
    Connection().BeginTrans();
    TransazioneAperta = true;
  });
}

// Ends the open transaction with `end` (commit or rollback). The flag follows the connection:
// an end the server refused leaves open only what is really still open.
void Frame::EndTransaction(std::string_view routine, void (db::Connection::*end)()) {
  Guard(routine, [&] {
    if (!CPInput->EseguiTransazione || !TransazioneAperta) return;
    try {
      (Connection().*end)();
      TransazioneAperta = false;
    } catch (...) {
      TransazioneAperta = Connection().in_transaction();
      throw;
    }
  });
}

void Frame::TerminaTransazione() {
  EndTransaction("TerminaTransazione", &db::Connection::CommitTrans);
}

void Frame::RollbackTransazione() {
  EndTransaction("RollbackTransazione", &db::Connection::RollbackTrans);
}

db::Connection& Frame::Connection() const {
  return *SharedConnection();
}

const std::shared_ptr<db::Connection>& Frame::SharedConnection() const {
  if (!CPInput || !CPInput->GConnect) throw db::ParameterError("connessione non disponibile");
  return CPInput->GConnect;
}

CLSCG_VERIPROGOUTPUT& Frame::Output() const {
  if (!CPOutput) throw db::ParameterError("CPOutput non impostato");
  return *CPOutput;
}

}  // namespace veriprog
