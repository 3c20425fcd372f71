// The operation frame: checks and their messages in each operation's order, the error rule,
// transactions, the company object, hostile parameters, trace lines and identifiers.
#include "frame/frame.h"

#include <gtest/gtest.h>

#include "frame/sql_values.h"
#include "tests/support/fakes.h"
#include "veriprog/main_object.h"

namespace veriprog {
namespace {

using testing::EventLog;
using testing::FakeCompany;
using testing::FakeConnection;

struct Fixture {
  std::shared_ptr<FakeCompany> company = std::make_shared<FakeCompany>();
  std::shared_ptr<FakeConnection> conn = std::make_shared<FakeConnection>();
  std::shared_ptr<EventLog> events = std::make_shared<EventLog>();
  CLSCG_VERIPROG main{testing::FakeOutside(company)};
  Frame frame{testing::FakeOutside(company)};  // the shared routines, on their own

  Fixture() {
    main.CPInput()->GConnect = conn;
    main.Advise(events);
    frame.CPInput->GConnect = conn;
  }
  void Fill(db::Variant ditta, db::Variant esercizio, db::Variant progressivo) {
    main.CPInput()->Ditta = std::move(ditta);
    main.CPInput()->Esercizio = std::move(esercizio);
    main.CPInput()->Progressivo = std::move(progressivo);
  }
};

TEST(Frame, ChecksRunInEachOperationsOrderWithTheirMessages) {
  struct Case {
    void (CLSCG_VERIPROG::*op)();
    db::Variant ditta, esercizio, progressivo;
    bool company_fails;
    const char* message;
  };
  using M = CLSCG_VERIPROG;
  const Case cases[] = {
      {&M::ControlloProgressiviContabili, db::Variant(), db::Variant(), db::Variant(), false,
       "Non è stata definita la ditta"},
      {&M::ControlloProgressiviContabili, 1, "", 1, false, "Non è stato definito l'esercizio"},
      {&M::ControlloProgressiviContabili, 1, 2024, db::Variant::Null(), false,
       "Non è stato definito il progressivo esercizio"},
      // The check asks for the company object before the company; the rebuild after.
      {&M::ControlloProgressiviContabili, db::Variant(), 2024, 1, true,
       "Errore in creazione classe ditta base"},
      {&M::AzzeraAggiornaProgressiviContabili, db::Variant(), 2024, 1, true,
       "Non è stata definita la ditta"},
      {&M::AzzeraAggiornaProgressiviContabili, 1, 2024, 1, true,
       "Errore in creazione classe ditta base"},
      {&M::AzzeraAggiornaProgressiviContabiliOld, 1, 2024, "", false,
       "Non è stato definito il progressivo esercizio"},
  };
  for (const auto& c : cases) {
    Fixture f;
    f.company->fail = c.company_fails;
    f.Fill(c.ditta, c.esercizio, c.progressivo);
    (f.main.*c.op)();
    EXPECT_EQ(f.main.Stato(), tsParametriNonValidi) << c.message;
    EXPECT_EQ(f.main.Errore(), c.message);
    EXPECT_TRUE(f.events->lines.empty()) << "no event after a failed check";
    EXPECT_TRUE(f.conn->batches.empty()) << "no statement after a failed check";
    EXPECT_EQ(f.conn->begins, 0);
  }
  // 0 and a text of blanks are values.
  Fixture f;
  f.Fill(0, 2024, 1);
  f.main.CPInput()->Anno = "   ";
  f.main.ControlloProgressiviAgricoltura();
  EXPECT_NE(f.main.Errore(), "Non è stata definita la ditta");
  EXPECT_EQ(f.main.Errore(), "Il parametro Anno deve essere un numero intero (valore: '   ')");
}

TEST(Frame, ConnectionIsTheHostsOrOneOpenedAndKept) {
  auto company = std::make_shared<FakeCompany>();
  std::weak_ptr<FakeConnection> watch;
  {
    auto host = std::make_shared<FakeConnection>();
    watch = host;
    {
      CLSCG_VERIPROG main(testing::FakeOutside(company));
      main.CPInput()->GConnect = host;
      main.CPInput()->SConnect = "nonsense that is never read";
      main.ControlloProgressiviContabili();
      EXPECT_EQ(main.Errore(), "Non è stata definita la ditta");
    }
    EXPECT_EQ(watch.use_count(), 1) << "the host's connection is released, not closed";
  }
  CLSCG_VERIPROG main(testing::FakeOutside(company));
  main.AzzeraAggiornaProgressiviIVA();
  EXPECT_EQ(main.Stato(), tsParametriNonValidi);
  EXPECT_EQ(main.Errore(), "Non è stata definita la connessione") << "empty connection string";
  main.CPInput()->SConnect = "host=127.0.0.1 port=1 connect_timeout=2";
  main.AzzeraAggiornaProgressiviIVA();
  EXPECT_EQ(main.Errore(), "Non è stata definita la connessione") << "unreachable server";
  EXPECT_NE(main.CausaConnessione().find("cannot connect"), std::string::npos)
      << "the reason is kept for people";
  EXPECT_FALSE(main.CPInput()->GConnect);
}

// Hostile text is the hostile-input suite's; here, whole numbers in any form pass.
TEST(Frame, WholeNumbersInAnyFormPass) {
  Fixture f;
  f.Fill(" 12 ", db::Decimal::Parse("2024.00"), "-1");
  f.main.AzzeraAggiornaProgressiviContabili();
  EXPECT_NE(f.main.Stato(), tsParametriNonValidi);
  EXPECT_EQ(f.main.Errore(), "");
}

TEST(Frame, ErrorRuleNamesTheRoutineAndTheNextOperationStartsClean) {
  Fixture f;
  Frame& frame = f.frame;
  f.conn->fail_with = "Invalid object name 'X'.";
  frame.Guard("CreaTmpTableCG42Mov", [&] { frame.Connection().Execute("SELECT * FROM X"); });
  EXPECT_EQ(frame.Stato, tsProgramError);
  EXPECT_EQ(frame.Errore, "Invalid object name 'X'. in CreaTmpTableCG42Mov");
  EXPECT_EQ(frame.GetTableName(static_cast<TableId>(999)), "");
  EXPECT_EQ(frame.Errore, "identificativo di tabella sconosciuto: 999 in GetTableName");

  f.Fill(1, 2024, 1);
  f.main.ControlloProgressiviPlafond();  // fails its year check, from a clean start
  EXPECT_EQ(f.main.Stato(), tsParametriNonValidi);
  EXPECT_EQ(f.main.Errore(), "Non è stato definito l'anno");
  f.main.CPInput()->Anno = 2024;
  f.main.ControlloProgressiviPlafond();
  EXPECT_EQ(f.main.Stato(), tsProgramError) << "its statements meet the failing connection";
  EXPECT_EQ(f.main.Errore(), "Invalid object name 'X'. in ControlloProgressiviPlafond");
}

TEST(Frame, TransactionsFollowTheirFlags) {
  Fixture f;
  Frame& frame = f.frame;
  frame.IniziaTransazione();
  frame.TerminaTransazione();
  EXPECT_EQ(f.conn->begins + f.conn->commits, 0) << "EseguiTransazione off: nothing happens";
  frame.CPInput->EseguiTransazione = true;
  frame.IniziaTransazione();
  frame.IniziaTransazione();
  EXPECT_EQ(f.conn->begins, 1) << "never nested";
  frame.RollbackTransazione();
  frame.TerminaTransazione();
  EXPECT_EQ(f.conn->rollbacks, 1);
  EXPECT_EQ(f.conn->commits, 0) << "nothing left to commit";
  EXPECT_EQ(frame.Stato, tsOk);
}

TEST(Frame, CompanyObjectIsMadeOncePerCompany) {
  Fixture f;
  Frame& frame = f.frame;
  frame.CPInput->Ditta = 1;
  frame.CreaClasseDittaBase();
  frame.CreaClasseDittaBase();
  EXPECT_EQ(f.company->factories, 1);
  EXPECT_EQ(f.company->objects, 7) << "kind 4, then 5, 10, 9, 8, 6 and 18";
  EXPECT_EQ(frame.Gruppo(), "7");
  frame.CPInput->Ditta = 2;
  frame.CreaClasseDittaBase();
  EXPECT_EQ(f.company->factories, 2) << "another company, another object";
  f.company->group = "7; DROP";
  EXPECT_THROW(frame.Gruppo(), std::exception);
}

TEST(Frame, SqlValueHelpers) {
  EXPECT_EQ(BFill("150", 4), db::Variant("150 "));
  EXPECT_EQ(BFill("   ", 4), db::Variant("    "));
  EXPECT_EQ(BFill(" 12345 ", 4), db::Variant("1234"));
  EXPECT_TRUE(BFill(db::Variant::Null(), 4).is_null());
  EXPECT_TRUE(BFill(db::Variant(), 4).is_null());
  EXPECT_EQ(NVL("", 0), db::Variant(0));
  EXPECT_EQ(NVL(0, 5), db::Variant(0));
  EXPECT_EQ(SqlText("l'anno"), "l''anno");
  Fixture f;
  Frame& frame = f.frame;
  EXPECT_EQ(frame.DataDB(*db::DateTime::FromParts(2024, 2, 29)), db::Variant("'20240229'"));
  EXPECT_EQ(frame.DataDB("31/12/2024"), db::Variant("'20241231'"));
  EXPECT_EQ(frame.DataDB("31/02/2024"), db::Variant("Null"));
  EXPECT_EQ(frame.DataDB(db::Variant()), db::Variant("Null"));
  db::Variant amount = db::Decimal::Parse("-1234567.50");
  EXPECT_EQ(f.main.ValoreDB(amount), db::Variant("-1234567.50"));
  db::Variant nothing = db::Variant::Null();
  EXPECT_EQ(f.main.ValoreDB(nothing), db::Variant("0"));
  db::Variant words = "mille";
  EXPECT_TRUE(f.main.ValoreDB(words).is_empty());
  EXPECT_EQ(f.main.Errore(), "importo non numerico: 'mille' in ValoreDB");
}

class TraceCapture final : public TraceSink {
 public:
  std::vector<std::string> lines;
  void Write(std::string_view line) override { lines.emplace_back(line); }
};

TEST(Frame, TraceLinesAndInstanceIdentifiers) {
  Guid g{0x0000A1B2, 0x0C0D, 0x00EF, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08}};
  EXPECT_EQ(FormatGuid(g), "0000A1B20C0D00EF0102030405060708");
  EXPECT_EQ(FormatGuid(Guid{}), std::string(32, '0'));

  auto capture = std::make_shared<TraceCapture>();
  auto previous = SetTraceSink(capture);
  { CLSCG_VERIPROGINPUT input; }
  { CLSCG_VERIPROGINPUT input; }
  { CLSCG_VERIPROG main(testing::FakeOutside(std::make_shared<FakeCompany>())); }
  SetTraceSink(previous);

  ASSERT_EQ(capture->lines.size(), 10u);
  const std::string& ini = capture->lines[0];
  const std::string& ter = capture->lines[1];
  ASSERT_EQ(ini.size(), std::string("QXGE:||INI|NEXA_VERIPROG|CLSCG_VERIPROGINPUT").size() + 32);
  EXPECT_EQ(ini.substr(0, 6), "QXGE:|");
  EXPECT_EQ(ini.substr(39), "INI|NEXA_VERIPROG|CLSCG_VERIPROGINPUT");
  EXPECT_EQ(ter.substr(39), "TER|NEXA_VERIPROG|CLSCG_VERIPROGINPUT");
  EXPECT_EQ(ini.substr(6, 32), ter.substr(6, 32));
  EXPECT_NE(ini.substr(6, 32), capture->lines[2].substr(6, 32)) << "each object its own id";
  EXPECT_NE(capture->lines[4].find("INI|NEXA_VERIPROG|CLSCG_VERIPROG"), std::string::npos);
  EXPECT_NE(capture->lines[5].find("CLSCG_VERIPROGINPUT"), std::string::npos) << "created after";
  EXPECT_NE(capture->lines[7].find("TER|NEXA_VERIPROG|CLSCG_VERIPROG"), std::string::npos)
      << "destroyed first, then what it holds";
}

}  // namespace
}  // namespace veriprog
