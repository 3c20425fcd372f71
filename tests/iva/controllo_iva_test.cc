// The VAT register check on hand-built journals whose register totals are worked out in the
// comments: which lines count, in which month, with which sign, and which register types they
// feed besides their own.
#include <gtest/gtest.h>

#include "tests/iva/vat_rows.h"
#include "tests/support/fakes.h"
#include "tests/support/ledger.h"
#include "veriprog/main_object.h"

namespace veriprog {
namespace {

using testing::kNull;

using testing::registri::VatRows;

struct Check {
  std::shared_ptr<testing::EventLog> events = std::make_shared<testing::EventLog>();
  CLSCG_VERIPROG main;

  Check(const testing::TestDatabase& db, int anno, int ditta = 1) {
    main.CPInput()->SConnect = db.conninfo();
    main.CPInput()->Ditta = ditta;
    main.CPInput()->Anno = anno;
    main.Advise(events);
  }
  std::string Run(bool with_summary = false, bool stored = false) {
    main.ControlloProgressiviIVA(stored);
    EXPECT_EQ(main.Stato(), tsOk) << main.Errore();
    return VatRows(main, with_summary);
  }
};

// Registered on 20 December, in the VAT register on 10 January: a deferred invoice's causal
// counts it in December by its registration date, an ordinary causal in January of the next
// year by its VAT date.
TEST(ControlloProgressiviIVA, DeferredInvoiceMonthAcrossTheYearEnd) {
  VERIPROG_NEED_DATABASE(db);
  auto ledger = testing::VatRegisterLedger(db);
  ledger.Registration({"D1", "2024-12-20", "2025-01-10", "FAD", 1}, {},
                      {{"22", "100.00", "22.00"}});
  ledger.Registration({"D2", "2024-12-20", "2025-01-10", "FA", 1}, {}, {{"22", "10.00", "2.20"}});
  Check y2024(db, 2024);
  EXPECT_EQ(y2024.Run(),
            "1|A|22|1|12|100.00|22.00|0.00|MOV\n"
            "15|A|22|1|12|100.00|22.00|0.00|MOV\n");
  EXPECT_EQ(y2024.events->Joined(), "EndControlloProgressiviIVA()\n");
  Check y2025(db, 2025);
  EXPECT_EQ(y2025.Run(), "1|A|22|1|1|10.00|2.20|0.00|MOV\n");
}

// A credit note subtracts taxable, tax and non-deductible tax:
// sales 1000.00/220.00 - 200.00/44.00 = 800.00/176.00;
// purchases 500.00/110.00/44.00 - 100.00/22.00/8.80 = 400.00/88.00/35.20.
// A provisional registration and a line of another year count nowhere.
TEST(ControlloProgressiviIVA, CreditNoteSubtracts) {
  VERIPROG_NEED_DATABASE(db);
  auto ledger = testing::VatRegisterLedger(db);
  ledger.Registration({"V1", "2024-03-05", "", "FV", 2}, {}, {{"22", "1000.00", "220.00"}});
  ledger.Registration({"V2", "2024-03-20", "", "FV", 2, "A", 1}, {}, {{"22", "200.00", "44.00"}});
  ledger.Registration({"A1", "2024-03-10", "", "FA", 1}, {}, {{"22", "500.00", "110.00", "44.00"}});
  ledger.Registration({"A2", "2024-03-11", "", "FA", 1, "A", 1}, {},
                      {{"22", "100.00", "22.00", "8.80"}});
  ledger.Registration({"V3", "2024-03-21", "", "FV", 2, "A", 0, "", "NULL", 1}, {},
                      {{"22", "9.00", "1.98"}});
  ledger.Registration({"V4", "2023-03-21", "", "FV", 2}, {}, {{"22", "7.00", "1.54"}});
  Check check(db, 2024);
  EXPECT_EQ(check.Run(),
            "1|A|22|1|3|400.00|88.00|35.20|MOV\n"
            "2|A|22|1|3|800.00|176.00|0.00|MOV\n");
}

// One sales invoice, a line per VAT code. Every group keeps the chargeability of its own code
// (the group is per code, so immediate and deferred never meet in one): 22 is immediate and
// feeds no suspended type; S1 (public body) gives 7, S2 (other company) 91, S3 (split payment)
// 88; N1 is suspended but neutral, chargeability 0, hence 88 too.
TEST(ControlloProgressiviIVA, SuspendedSalesByChargeability) {
  VERIPROG_NEED_DATABASE(db);
  auto ledger = testing::VatRegisterLedger(db);
  ledger.Registration({"V1", "2024-04-02", "", "FV", 2}, {},
                      {{"22", "100.00", "22.00"},
                       {"S1", "200.00", "44.00"},
                       {"S2", "50.00", "11.00"},
                       {"S3", "300.00", "66.00"},
                       {"N1", "10.00", "2.20"}});
  Check check(db, 2024);
  EXPECT_EQ(check.Run(),
            "2|A|22|1|4|100.00|22.00|0.00|MOV\n"
            "2|A|N1|1|4|10.00|2.20|0.00|MOV\n"
            "2|A|S1|1|4|200.00|44.00|0.00|MOV\n"
            "2|A|S2|1|4|50.00|11.00|0.00|MOV\n"
            "2|A|S3|1|4|300.00|66.00|0.00|MOV\n"
            "7|A|S1|1|4|200.00|44.00|0.00|MOV\n"
            "88|A|N1|1|4|10.00|2.20|0.00|MOV\n"
            "88|A|S3|1|4|300.00|66.00|0.00|MOV\n"
            "91|A|S2|1|4|50.00|11.00|0.00|MOV\n");
}

// The self-invoice I2 refers to the intra-EU purchase I1 (VAT causal '51  '): it is intra by its
// parent although its own causal is '62', so it feeds type 13. I1 itself has no parent and is
// not deleted: it is no intra line of its own. I3 is marked deleted: then its own causal counts,
// type 12. Purchases 1000.00 + 300.00 = 1300.00 in type 1.
TEST(ControlloProgressiviIVA, SelfInvoiceOfAnIntraPurchase) {
  VERIPROG_NEED_DATABASE(db);
  auto ledger = testing::VatRegisterLedger(db);
  ledger.Registration({"I1", "2024-05-03", "", "INT", 1}, {}, {{"22", "1000.00", "220.00"}});
  ledger.Registration({"I2", "2024-05-03", "", "AUT", 2, "A", 0, "I1", "0"}, {},
                      {{"22", "1000.00", "220.00"}});
  ledger.Registration({"I3", "2024-05-04", "", "INT", 1, "A", 0, "", "1"}, {},
                      {{"22", "300.00", "66.00"}});
  Check check(db, 2024);
  EXPECT_EQ(check.Run(),
            "1|A|22|1|5|1300.00|286.00|0.00|MOV\n"
            "2|A|22|1|5|1000.00|220.00|0.00|MOV\n"
            "12|A|22|1|5|300.00|66.00|0.00|MOV\n"
            "13|A|22|1|5|1000.00|220.00|0.00|MOV\n");
}

// Register type 14 from its two sources: the self-invoice R2 of the San Marino purchase R1, and
// the self-invoice R3 without a parent, 500.00/110.00 each in one key. Both count: two rows of
// 500.00, not one. Type 35 likewise from a sale and from receipts of an amateur sports
// association, 100.00 each; type 2 sums R2, R3 and the sale: 1100.00.
TEST(ControlloProgressiviIVA, EqualContributionsUnderOneKeyAreBothCounted) {
  VERIPROG_NEED_DATABASE(db);
  auto ledger = testing::VatRegisterLedger(db);
  testing::registri::SelfInvoices(ledger);
  ledger.Registration({"S1", "2024-06-16", "", "FV", 2, "B"}, {},
                      {{.codice = "22", .imponibile = "100.00", .imposta = "22.00", .tipo = "35"}});
  ledger.Registration({"S2", "2024-06-17", "", "CO", 3, "B"}, {},
                      {{.codice = "22", .imponibile = "100.00", .imposta = "22.00", .tipo = "35"}});
  Check check(db, 2024);
  EXPECT_EQ(check.Run(),
            "1|B|22|1|6|500.00|110.00|0.00|MOV\n"
            "2|B|22|1|6|1100.00|242.00|0.00|MOV\n"
            "3|B|22|1|6|100.00|22.00|0.00|MOV\n"
            "14|B|22|1|6|500.00|110.00|0.00|MOV\n"
            "14|B|22|1|6|500.00|110.00|0.00|MOV\n"
            "35|B|22|1|6|100.00|22.00|0.00|MOV\n"
            "35|B|22|1|6|100.00|22.00|0.00|MOV\n");
}

// Subcontracting sales feed type 18, amateur sports purchases type 22.
TEST(ControlloProgressiviIVA, SubcontractingAndSportsAssociations) {
  VERIPROG_NEED_DATABASE(db);
  auto ledger = testing::VatRegisterLedger(db);
  ledger.Registration({"S1", "2024-02-01", "", "SUB", 2}, {}, {{"10", "70.00", "7.00"}});
  ledger.Registration({"A1", "2024-02-02", "", "FA", 1}, {},
                      {{.codice = "10", .imponibile = "30.00", .imposta = "3.00", .tipo = "22"},
                       {.codice = "10", .imponibile = "5.00", .imposta = "0.50"}});
  Check check(db, 2024);
  EXPECT_EQ(check.Run(),
            "1|A|10|1|2|35.00|3.50|0.00|MOV\n"
            "2|A|10|1|2|70.00|7.00|0.00|MOV\n"
            "18|A|10|1|2|70.00|7.00|0.00|MOV\n"
            "22|A|10|1|2|30.00|3.00|0.00|MOV\n");
}

// The summary section 'RP': without sections management every month has it; with management
// only the months from the activation (March 2024) to the last definitive print, which for
// company 2 lies in the previous year: no summary rows at all. A print in August opens March to
// August: the May sale only. An activation in an earlier year starts the window in January.
TEST(ControlloProgressiviIVA, SummarySectionWindow) {
  VERIPROG_NEED_DATABASE(db);
  auto ledger = testing::VatRegisterLedger(db);
  for (int ditta : {1, 2}) {
    ledger.Registration(
        {"F" + std::to_string(ditta), "2024-02-10", "", "FV", 2, "A", 0, "", "NULL", 0, ditta}, {},
        {{"22", "100.00", "22.00"}});
    ledger.Registration(
        {"M" + std::to_string(ditta), "2024-05-10", "", "FV", 2, "A", 0, "", "NULL", 0, ditta}, {},
        {{"22", "200.00", "44.00"}});
    ledger.Registration(
        {"S" + std::to_string(ditta), "2024-09-10", "", "FV", 2, "B", 0, "", "NULL", 0, ditta}, {},
        {{"22", "300.00", "66.00"}});
  }
  auto summary = [&](int ditta) {
    Check check(db, 2024, ditta);
    std::string out;
    const std::string all = check.Run(true);
    for (std::size_t from = 0, to; (to = all.find('\n', from)) != std::string::npos;
         from = to + 1) {
      const std::string line = all.substr(from, to - from + 1);
      if (line.find("|RP|") != std::string::npos) out += line;
    }
    return out;
  };
  EXPECT_EQ(summary(1),
            "2|RP|22|1|2|100.00|22.00|0.00|MOV\n"
            "2|RP|22|1|5|200.00|44.00|0.00|MOV\n"
            "2|RP|22|1|9|300.00|66.00|0.00|MOV\n");
  EXPECT_EQ(summary(2), "");
  db.Run("UPDATE CG18_DITTE SET CG18_DATAULTSTAMPARIEP = '2024-08-31' WHERE CG18_DITTA = 2");
  EXPECT_EQ(summary(2), "2|RP|22|1|5|200.00|44.00|0.00|MOV\n");
  db.Run("UPDATE CG18_DITTE SET CG18_DATAATTSEZIVA = '2023-06-01' WHERE CG18_DITTA = 2");
  EXPECT_EQ(summary(2),
            "2|RP|22|1|2|100.00|22.00|0.00|MOV\n"
            "2|RP|22|1|5|200.00|44.00|0.00|MOV\n");
  db.Run("UPDATE CG18_DITTE SET CG18_DATAATTSEZIVA = NULL WHERE CG18_DITTA = 2");
  EXPECT_EQ(summary(2), "");
}

// A suspended sale of December 2023 (S2, other company: 91 in 2023) paid for 400.00/88.00 in
// February 2024: in 2024 type 94 in February, under the invoice's section B although the
// payment is registered in section A. A sale of March 2024 (S1, public body: 7) paid in April:
// type 10. A provisional payment counts nowhere.
TEST(ControlloProgressiviIVA, SuspendedSaleAndItsPayment) {
  VERIPROG_NEED_DATABASE(db);
  auto ledger = testing::VatRegisterLedger(db);
  ledger.Registration({"V1", "2023-12-15", "", "FV", 2, "B"}, {}, {{"S2", "1000.00", "220.00"}});
  ledger.Registration({"P1", "2024-02-20", "", "PAG", 0, "A"});
  ledger.Registration({"V2", "2024-03-01", "", "FV", 2, "A"}, {}, {{"S1", "100.00", "22.00"}});
  ledger.Registration({"P2", "2024-04-15", "", "PAG", 0, "A"});
  ledger.Registration({"P3", "2024-04-16", "", "PAG", 0, "A", 0, "", "NULL", 1});
  // The suspended lines, their payments, and what each payment settles of each line.
  ledger.Rows("CG48_MOVSOSP", {{1, "V1", 1, "S2", 1}, {1, "V2", 1, "S1", 1}});
  ledger.Rows("CG49_PAGSOSP", {{1, "V1", 1, "P1"}, {1, "V2", 1, "P2"}, {1, "V2", 2, "P3"}});
  ledger.Rows("CG50_MOVPAGSOSP", {{1, "V1", 1, 1, "S2", "400.00", "88.00"},
                                  {1, "V2", 1, 1, "S1", "100.00", "22.00"},
                                  {1, "V2", 2, 1, "S1", "1.00", "0.22"}});
  Check check(db, 2024);
  EXPECT_EQ(check.Run(),
            "2|A|S1|1|3|100.00|22.00|0.00|MOV\n"
            "7|A|S1|1|3|100.00|22.00|0.00|MOV\n"
            "10|A|S1|1|4|100.00|22.00|0.00|MOV\n"
            "94|B|S2|1|2|400.00|88.00|0.00|MOV\n");
}

// Receipts with a publishing document: type 19 in July; its payment in August, type 20.
TEST(ControlloProgressiviIVA, PublishingDocumentAndItsPayment) {
  VERIPROG_NEED_DATABASE(db);
  auto ledger = testing::VatRegisterLedger(db);
  ledger.Registration({"C1", "2024-07-01", "", "CO", 3}, {}, {{"10", "100.00", "10.00"}});
  ledger.Registration({"P1", "2024-08-05", "", "PAG", 0, "B"});
  ledger.Rows("CGE0_DOCEDITORIA", {{1, "C1"}});
  ledger.Rows("CGE1_MOVEDITORIA", {{1, "C1", 1, "10", 1}});
  ledger.Rows("CGE2_PAGEDITORIA", {{1, "C1", "P1"}});
  ledger.Rows("CGE3_MOVPAGEDITORIA", {{1, "C1", 1, "60.00", "6.00"}});
  Check check(db, 2024);
  EXPECT_EQ(check.Run(),
            "3|A|10|1|7|100.00|10.00|0.00|MOV\n"
            "19|A|10|1|7|100.00|10.00|0.00|MOV\n"
            "20|A|10|1|8|60.00|6.00|0.00|MOV\n");
}

// Section V belongs to activity 50, a ventilation activity: a purchase on the ventilation code
// V22 there feeds type 4. Section A names no activity: the company's first activity of the VAT
// year counts, 40, not a ventilation one. A code without a related sales code never counts.
TEST(ControlloProgressiviIVA, VentilationPurchase) {
  VERIPROG_NEED_DATABASE(db);
  auto ledger = testing::VatRegisterLedger(db);
  ledger.Rows("CG86_AZIENDECOLL",
              {"CG86_IDATTIVITA", "CG86_DITTA_CG18", "CG86_DITTACOLL_CG18", "CG86_ANNOIVA",
               "CG86_INDTIPO", "CG86_INDVENT"},
              {{40, 1, 1, 2024, 0, 0}, {50, 1, 1, 2024, 0, 1}});
  ledger.Rows("CG32_ANADITTAPSEZ", {{1, 2024, "V", 50}, {1, 2024, "A", kNull}});
  ledger.Registration({"A1", "2024-09-09", "", "FA", 1, "V"}, {},
                      {{"V22", "400.00", "88.00"}, {"22", "1.00", "0.22"}});
  ledger.Registration({"A2", "2024-09-10", "", "FA", 1, "A"}, {}, {{"V22", "50.00", "11.00"}});
  Check check(db, 2024);
  EXPECT_EQ(check.Run(),
            "1|A|V22|1|9|50.00|11.00|0.00|MOV\n"
            "1|V|22|1|9|1.00|0.22|0.00|MOV\n"
            "1|V|V22|1|9|400.00|88.00|0.00|MOV\n"
            "4|V|V22|1|9|400.00|88.00|0.00|MOV\n");
  db.Run("UPDATE CG86_AZIENDECOLL SET CG86_INDVENT = 1 WHERE CG86_IDATTIVITA = 40");
  EXPECT_NE(check.Run().find("4|A|V22|1|9|50.00|11.00|0.00|MOV\n"), std::string::npos);
}

// With the stored rows: a stored month without journal lines is a 'PGR' row alone, a journal
// month without a stored row a 'MOV' row alone; the result table has a new name on every call
// and the record set is the host's, detached.
TEST(ControlloProgressiviIVA, StoredRowsBesideTheJournal) {
  VERIPROG_NEED_DATABASE(db);
  auto ledger = testing::VatRegisterLedger(db);
  ledger.Registration({"V1", "2024-03-05", "", "FV", 2}, {}, {{"22", "1000.00", "220.00"}});
  ledger.Rows("CG59_PROGIVAM", {{1, 2024, 3, 2, "A", "22", 1, "999.00", 0, 0}});
  ledger.Rows("CG59_PROGIVAM", {{1, 2024, 4, 5, "A", "22", 1, "7.00", 0, 0}});
  ledger.Rows("CG59_PROGIVAM", {{1, 2023, 4, 2, "A", "22", 1, "8.00", 0, 0}});
  Check check(db, 2024);
  EXPECT_EQ(check.Run(false, true),
            "2|A|22|1|3|1000.00|220.00|0.00|MOV\n"
            "2|A|22|1|3|999.00|0.00|0.00|PGR\n"
            "5|A|22|1|4|7.00|0.00|0.00|PGR\n");
  const std::string first = check.main.CPOutput()->TabTempControlloProgressiviIVA;
  EXPECT_EQ(first.rfind("#PROGIVA_", 0), 0u);
  EXPECT_EQ(first.size(), 9u + 32u);
  EXPECT_EQ(check.main.CPOutput()->RecSetControlloProgressiviIVA->active_connection(), nullptr);
  check.Run();
  EXPECT_NE(check.main.CPOutput()->TabTempControlloProgressiviIVA, first);
  // The host may read the table by name on the same connection.
  auto rows = check.main.CPInput()->GConnect->Query("SELECT COUNT(*) AS N FROM " + first);
  EXPECT_EQ(db::Recordset::FromResult(std::move(rows), nullptr).Get("N").ToText(), "4");
}

TEST(ControlloProgressiviIVA, YearWithoutVatLinesGivesNoRows) {
  VERIPROG_NEED_DATABASE(db);
  auto ledger = testing::VatRegisterLedger(db);
  Check check(db, 2019);
  EXPECT_EQ(check.Run(true), "");
  EXPECT_EQ(check.main.CPOutput()->RecSetControlloProgressiviIVA->RecordCount(), 0);
}

}  // namespace
}  // namespace veriprog
