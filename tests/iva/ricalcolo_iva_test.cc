// The VAT register rebuild: against the generator's own reckoning, round trips with the check,
// the register types it keeps, its events, and what a failure without a transaction leaves.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>

#include "db/text.h"
#include "gen/ledger_generator.h"
#include "selftest/faulty_connection.h"
#include "tests/iva/vat_rows.h"
#include "tests/support/fakes.h"
#include "tests/support/ledger.h"
#include "tests/support/recording_connection.h"
#include "veriprog/main_object.h"
#include "veriprog/recordset.h"

namespace veriprog {
namespace {

using testing::registri::StoredVatTotals;
using testing::registri::VatRows;

struct Rebuild {
  std::shared_ptr<testing::EventLog> events = std::make_shared<testing::EventLog>();
  CLSCG_VERIPROG main;

  Rebuild(std::shared_ptr<db::Connection> conn, int ditta, int anno) {
    main.CPInput()->GConnect = std::move(conn);
    main.CPInput()->Ditta = ditta;
    main.CPInput()->Anno = anno;
    main.CPInput()->EseguiTransazione = true;
    main.Advise(events);
  }
  void Run() {
    main.AzzeraAggiornaProgressiviIVA();
    ASSERT_EQ(main.Stato(), tsOk) << main.Errore();
  }
};

// Keys of the check with the stored rows beside the journal's whose sums differ in any of the
// three amounts, as "TIPO|SEZ|CODICE|TIPOIVA|MESE" lines.
std::string DifferingKeys(CLSCG_VERIPROG& main) {
  std::map<std::string, std::array<db::Decimal, 3>> difference;
  auto rs = main.CPOutput()->RecSetControlloProgressiviIVA;
  for (rs->MoveFirst(); !rs->eof(); rs->MoveNext()) {
    auto text = [&](const char* f) { return std::string(db::TrimRight(rs->Get(f).ToText())); };
    const bool stored = text("TIPORECORD") == "PGR";
    auto& d = difference[text("TIPOREGISTRO") + "|" + text("SEZIONALE") + "|" + text("CODICEIVA") +
                         "|" + text("TIPOIVA") + "|" + text("MESE")];
    int i = 0;
    for (const char* f : {"IMPONIBILE", "IMPOSTA", "IMPOSTAND"}) {
      const db::Decimal v = *rs->Get(std::string(f) + (stored ? "PROGR" : "MOV")).ToDecimal();
      d[i++] += stored ? -v : v;
    }
  }
  std::string out;
  for (const auto& [key, d] : difference) {
    if (!d[0].is_zero() || !d[1].is_zero() || !d[2].is_zero()) out += key + "\n";
  }
  return out;
}

// The generator reckons the stored totals on its own: the rebuild writes exactly what it
// reckoned (less the rows it made wrong), keeps the rows of types 5 and 17, and the check then
// finds every key's journal rows adding up to its stored row but for those two types. A second
// rebuild changes nothing.
TEST(AzzeraAggiornaProgressiviIVA, WritesWhatTheJournalSaysOnGeneratedLedgers) {
  VERIPROG_NEED_DATABASE(db);
  gen::GenerateLedger(db.libpq_conninfo(), {.seed = 11, .lines = 6000, .wrong = 0});
  auto conn = db.Connect();
  const std::string reckoned = StoredVatTotals(*conn);
  ASSERT_GT(reckoned.size(), 20000u);

  db.Run(
      "UPDATE CG59_PROGIVAM SET CG59_IMPOSTA = CG59_IMPOSTA + 1 WHERE CG59_MESE = 3;"
      "DELETE FROM CG59_PROGIVAM WHERE CG59_MESE = 4 AND CG59_INDTIPO = 2");
  testing::Ledger(db, {}).Rows("CG59_PROGIVAM", {{1, 2024, 1, 77, "A", "I22", 1, 1, 1, 1},
                                                 {1, 2024, 2, 5, "A", "I22", 1, "5.00", 0, 0},
                                                 {1, 2024, 2, 17, "RP", "I10", 2, "17.00", 0, 0},
                                                 {2, 2025, 1, 5, "B", "I04", 1, "5.50", 0, 0}});
  const std::string kept =
      "1|2024|5|A|I22|1|2|5.00|0.00|0.00\n1|2024|17|RP|I10|2|2|17.00|0.00|0.00\n"
      "2|2025|5|B|I04|1|1|5.50|0.00|0.00\n";
  std::string with_kept = testing::Sorted(testing::Lines(reckoned + "\n" + kept));
  with_kept.pop_back();  // the stored totals end without a line break
  for (int round = 0; round < 2; ++round) {
    for (auto [ditta, anno] : {std::pair{1, 2023}, {1, 2024}, {2, 2024}, {2, 2025}}) {
      Rebuild rebuild(conn, ditta, anno);
      rebuild.Run();
    }
    EXPECT_EQ(StoredVatTotals(*conn), with_kept) << "round " << round;
  }
  CLSCG_VERIPROG check;
  check.CPInput()->GConnect = conn;
  check.CPInput()->Ditta = 1;
  check.CPInput()->Anno = 2024;
  bool stored = true;
  check.ControlloProgressiviIVA(stored);
  ASSERT_EQ(check.Stato(), tsOk) << check.Errore();
  EXPECT_EQ(DifferingKeys(check), "17|RP|I10|2|2\n5|A|I22|1|2\n");
}

// The rebuild on a small ledger: its events in order, the two contributions to type 14 added
// up in one stored row (500.00 + 500.00), the summary section's description, and the stored
// rows of types 5 and 17 left as they were.
TEST(AzzeraAggiornaProgressiviIVA, EventsSumsAndKeptTypes) {
  VERIPROG_NEED_DATABASE(db);
  auto ledger = testing::VatRegisterLedger(db);
  testing::registri::SelfInvoices(ledger);
  ledger.Rows("CG59_PROGIVAM", {{1, 2024, 6, 14, "B", "22", 1, "1.00", 0, 0}});
  ledger.Rows("CG59_PROGIVAM", {{1, 2024, 6, 5, "B", "22", 1, "5.00", 0, 0}});
  ledger.Rows("CG59_PROGIVAM", {{1, 2024, 7, 17, "B", "22", 1, "17.00", 0, 0}});
  ledger.Rows("CG59_PROGIVAM", {{1, 2023, 6, 14, "B", "22", 1, "23.00", 0, 0}});
  Rebuild rebuild(db.Connect(), 1, 2024);
  rebuild.Run();
  auto conn = db.Connect();
  EXPECT_EQ(StoredVatTotals(*conn),
            "1|2023|14|B|22|1|6|23.00|0.00|0.00\n"
            "1|2024|14|B|22|1|6|1000.00|220.00|0.00\n"
            "1|2024|14|RP|22|1|6|1000.00|220.00|0.00\n"
            "1|2024|17|B|22|1|7|17.00|0.00|0.00\n"
            "1|2024|1|B|22|1|6|500.00|110.00|0.00\n"
            "1|2024|1|RP|22|1|6|500.00|110.00|0.00\n"
            "1|2024|2|B|22|1|6|1000.00|220.00|0.00\n"
            "1|2024|2|RP|22|1|6|1000.00|220.00|0.00\n"
            "1|2024|5|B|22|1|6|5.00|0.00|0.00");
  // Eight journal rows (types 1, 2 and two of 14, each for B and RP) written one at a time.
  std::string writes;
  for (int i = 1; i <= 8; ++i)
    writes += "AvanzamentoProcesso(" + std::to_string(i) + ")\n";
  EXPECT_EQ(rebuild.events->Joined(),
            "Begin(3)\nProcesso(1,Azzeramento progressivi mensili)\nBeginProcesso(1)\n"
            "AvanzamentoProcesso(1)\nEndProcesso()\n"
            "Processo(2,Calcolo progressivi IVA per mese)\nEndControlloProgressiviIVA()\n"
            "Processo(3,Scrittura progressivi mensili)\nBeginProcesso(8)\n" +
                writes + "EndProcesso()\nEnd()\n");
  // The check's rows stay with the host, the stored ones among them: after the delete only the
  // kept types remained.
  EXPECT_EQ(VatRows(rebuild.main),
            "1|B|22|1|6|500.00|110.00|0.00|MOV\n"
            "2|B|22|1|6|1000.00|220.00|0.00|MOV\n"
            "5|B|22|1|6|5.00|0.00|0.00|PGR\n"
            "14|B|22|1|6|500.00|110.00|0.00|MOV\n"
            "14|B|22|1|6|500.00|110.00|0.00|MOV\n"
            "17|B|22|1|7|17.00|0.00|0.00|PGR\n");
  auto description = db::Recordset::FromResult(
      conn->Query("SELECT CG68_DESCSEZ FROM CG68_NUMERDESC WHERE CG68_DITTA_CG18 = 1"), nullptr);
  EXPECT_EQ(description.Get("CG68_DESCSEZ").ToText(), "Sezionale riepilogativo");
  // Again: the same totals; the description is there already, and that is no failure.
  const std::string once = StoredVatTotals(*conn);
  Rebuild again(conn, 1, 2024);
  again.Run();
  EXPECT_EQ(StoredVatTotals(*conn), once);
}

// A year without VAT lines: the delete leaves only what it keeps. With nothing kept the check
// has no rows and no description is written; a kept row of type 5 is a row, and it is.
TEST(AzzeraAggiornaProgressiviIVA, YearWithoutVatLines) {
  VERIPROG_NEED_DATABASE(db);
  auto ledger = testing::VatRegisterLedger(db);
  ledger.Rows("CG59_PROGIVAM", {{1, 2022, 1, 2, "A", "22", 1, "9.00", 0, 0}});
  auto conn = db.Connect();
  Rebuild rebuild(conn, 1, 2022);
  rebuild.Run();
  EXPECT_EQ(StoredVatTotals(*conn), "");
  auto count = [&] {
    return db::Recordset::FromResult(conn->Query("SELECT COUNT(*) AS N FROM CG68_NUMERDESC"),
                                     nullptr)
        .Get("N")
        .ToText();
  };
  EXPECT_EQ(count(), "0");
  ledger.Rows("CG59_PROGIVAM", {{1, 2022, 1, 5, "A", "22", 1, "9.00", 0, 0}});
  Rebuild kept(conn, 1, 2022);
  kept.Run();
  EXPECT_EQ(StoredVatTotals(*conn), "1|2022|5|A|22|1|1|9.00|0.00|0.00");
  EXPECT_EQ(count(), "1");
}

// The summary section's description is a courtesy to the register prints: its insert failing
// (most often because it is there already) is no failure, and the totals are written all the same.
TEST(AzzeraAggiornaProgressiviIVA, ADescriptionThatCannotBeWrittenIsNoFailure) {
  VERIPROG_NEED_DATABASE(db);
  auto ledger = testing::VatRegisterLedger(db);
  ledger.Registration({"V1", "2024-03-05", "", "FV", 2}, {}, {{"22", "1000.00", "220.00"}});
  ledger.Rows("CG59_PROGIVAM", {{1, 2024, 3, 2, "A", "22", 1, "999.00", 0, 0}});
  auto recorder = std::make_shared<testing::RecordingConnection>(db.Connect());
  Rebuild(recorder, 1, 2024).Run();
  const auto& sent = recorder->batches;
  const auto insert = std::find_if(sent.begin(), sent.end(), [](const std::string& b) {
    return b.find("INSERT INTO CG68_NUMERDESC") != std::string::npos;
  });
  ASSERT_NE(insert, sent.end());
  const std::string written = StoredVatTotals(*db.Connect());
  ASSERT_NE(written.find("1000.00"), std::string::npos);

  db.Run("UPDATE CG59_PROGIVAM SET CG59_IMPONIBILE = 999.00; DELETE FROM CG68_NUMERDESC");
  const int at = static_cast<int>(insert - sent.begin()) + 1;
  auto faulty = std::make_shared<selftest::FaultyConnection>(db.Connect(), at);
  Rebuild(faulty, 1, 2024).Run();
  EXPECT_NE(faulty->failed().find("INSERT INTO CG68_NUMERDESC"), std::string::npos);
  EXPECT_EQ(StoredVatTotals(*db.Connect()), written);
}

// Without a transaction a failing check leaves the delete done, as the host asked.
TEST(AzzeraAggiornaProgressiviIVA, WithoutTransactionTheDeleteStays) {
  VERIPROG_NEED_DATABASE(db);
  auto ledger = testing::VatRegisterLedger(db);
  ledger.Rows("CG59_PROGIVAM", {{1, 2024, 3, 2, "A", "22", 1, "999.00", 0, 0}});
  auto faulty = std::make_shared<selftest::FaultyConnection>(db.Connect(), 4);
  CLSCG_VERIPROG main;
  main.CPInput()->GConnect = faulty;
  main.CPInput()->Ditta = 1;
  main.CPInput()->Anno = 2024;
  main.AzzeraAggiornaProgressiviIVA();
  EXPECT_EQ(main.Stato(), tsProgramError);
  EXPECT_EQ(StoredVatTotals(*db.Connect()), "");
}

}  // namespace
}  // namespace veriprog
