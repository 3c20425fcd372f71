// What the monthly VAT totals tests share: hand-written VAT registrations (headers with VAT and
// competence dates and a section, VAT lines, margin-scheme lines), a connection that records
// what it is sent, and a record set rendered as text so that a whole result is checked at once.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/support/recording_connection.h"
#include "tests/support/test_database.h"
#include "veriprog/connection.h"
#include "veriprog/recordset.h"

namespace veriprog::testing::libro {

using testing::RecordingConnection;

// A registration header of the VAT tests.
struct Testata {
  int ditta = 1;
  std::string data;             // registration and VAT date, YYYY-MM-DD
  std::string sezionale = "A";  // VAT section
  int segno = 0;                // CG41_FLGSEGNOIVA: not 0 for a credit note
  std::string competenza = "";  // CG41_DATACOMP; "" the registration date
  int provvisoria = 0;          // CG41_INDPROVREG
  int tipomov = 0;              // CG41_INDTIPOMOV
  bool senza_data_iva = false;  // CG41_DATAREGIVA left null
};

class LibroIva {
 public:
  // Companies 1 and 2 (for the company object) with their fiscal years 2024.
  explicit LibroIva(const TestDatabase& db);

  // Writes the header; returns the registration number.
  std::string Registrazione(const Testata& t);
  // A VAT line; amounts as SQL text ("NULL" for null).
  void Riga(const std::string& numreg, int ditta, const std::string& indtipo,
            const std::string& codice, const std::string& imponibile,
            const std::string& imposta = "0", const std::string& impostand = "0");
  // A margin-scheme line.
  void RigaMargine(const std::string& numreg, int ditta, int tipomov, int regime,
                   const std::string& codice, const std::string& percforf,
                   const std::string& imponibile, const std::string& imposta,
                   const std::string& rettcosto, const std::string& margine);

  void Run(const std::string& sql) const { db_.Run(sql); }

 private:
  const TestDatabase& db_;
  int next_ = 0;
};

// The rows in view, one line each: the fields' text forms joined by '|' (blanks padding a code
// cut), numbers without trailing fraction zeros.
std::string Righe(db::Recordset& rs);

// The rows of a query, rendered as Righe renders them.
std::string Righe(db::Connection& conn, const std::string& sql);

}  // namespace veriprog::testing::libro
