// The two drivers with a family of their own: a check and a rebuild made of two steps each,
// described by data only. Events, rollback on a failing step and the error text must come out
// right without a line of driver code in the family.
#include "frame/drivers.h"

#include <gtest/gtest.h>

#include "tests/support/fakes.h"
#include "veriprog/main_object.h"

namespace veriprog {
namespace {

using testing::EventLog;
using testing::FakeCompany;
using testing::FakeConnection;

struct Family {
  std::shared_ptr<FakeCompany> company = std::make_shared<FakeCompany>();
  std::shared_ptr<FakeConnection> conn = std::make_shared<FakeConnection>();
  std::shared_ptr<EventLog> events = std::make_shared<EventLog>();
  Frame frame{testing::FakeOutside(company)};
  bool second_fails = false;

  Family() {
    frame.CPInput->GConnect = conn;
    frame.CPInput->Ditta = 1;
    frame.CPInput->Anno = 2024;
    frame.CPInput->EseguiTransazione = true;
    frame.Advise(events);
  }

  std::vector<Routine> Steps() {
    static constexpr StepEvents kStep{
        &VeriprogEvents::BeginProcessoAzzeraAggiornaProgressiviContabili,
        &VeriprogEvents::AvanzamentoProcessoAzzeraAggiornaProgressiviContabili,
        &VeriprogEvents::EndProcessoAzzeraAggiornaProgressiviContabili};
    return {{"AzzeraPrimo", [this] { RunOne(frame, kStep, "DELETE FROM PRIMO"); }},
            {"ScriviSecondo", [this] {
               if (second_fails) throw db::DbError("guasto simulato");
               frame.Connection().Execute("INSERT INTO SECONDO SELECT 1");
             }}};
  }

  RebuildPlan Rebuild() {
    auto steps = Steps();
    return {.routine = "AzzeraAggiornaProva",
            .checks = {Check::kConnection, Check::kCompany, Check::kYear},
            .numeric = {NumericParam::kDitta, NumericParam::kAnno},
            .events = {&VeriprogEvents::BeginAzzeraAggiornaProgressiviContabili,
                       &VeriprogEvents::ProcessoAzzeraAggiornaProgressiviContabili,
                       &VeriprogEvents::EndAzzeraAggiornaProgressiviContabili},
            .steps = {{"Azzeramento", {steps[0]}}, {"Scrittura", {steps[1]}}}};
  }

  CheckPlan Check(bool month_loop) {
    return {.routine = "ControlloProva",
            .checks = {Check::kConnection, Check::kCompany, Check::kYear},
            .numeric = {NumericParam::kDitta},
            .events = {&VeriprogEvents::BeginControlloProgressiviContabili,
                       &VeriprogEvents::AvanzamentoControlloProgressiviContabili,
                       &VeriprogEvents::EndControlloProgressiviContabili},
            .result = &CLSCG_VERIPROGOUTPUT::RecSetControlloProgressiviPlafond,
            .steps = Steps(),
            .begin_each_step = month_loop};
  }
};

TEST(Drivers, ARebuildRunsItsStepsInOneTransaction) {
  Family f;
  RunRebuild(f.frame, f.Rebuild());
  EXPECT_EQ(f.frame.Stato, tsOk) << f.frame.Errore;
  EXPECT_EQ(f.events->Joined(),
            "Begin(2)\nProcesso(1,Azzeramento)\nBeginProcesso(1)\nAvanzamentoProcesso(1)\n"
            "EndProcesso()\nProcesso(2,Scrittura)\nEnd()\n");
  EXPECT_EQ(f.conn->batches,
            (std::vector<std::string>{"DELETE FROM PRIMO", "INSERT INTO SECONDO SELECT 1"}));
  EXPECT_EQ(f.conn->begins, 1);
  EXPECT_EQ(f.conn->commits, 1);
  EXPECT_EQ(f.conn->rollbacks, 0);
}

TEST(Drivers, AFailingStepEndsTheRebuildAndRollsItBack) {
  Family f;
  f.second_fails = true;
  RunRebuild(f.frame, f.Rebuild());
  EXPECT_EQ(f.frame.Stato, tsProgramError);
  EXPECT_EQ(f.frame.Errore, "guasto simulato in ScriviSecondo") << "the step's own name";
  EXPECT_EQ(f.events->lines.back(), "Processo(2,Scrittura)") << "no End after a failure";
  EXPECT_EQ(f.conn->commits, 0);
  EXPECT_EQ(f.conn->rollbacks, 1);
  EXPECT_FALSE(f.frame.TransazioneAperta);

  // A sink that throws is a failure of the driver itself: named after the operation, rolled back.
  struct Throwing final : VeriprogEvents {
    void EndAzzeraAggiornaProgressiviContabili() override { throw std::runtime_error("sink"); }
  };
  Family g;
  g.frame.Advise(std::make_shared<Throwing>());
  RunRebuild(g.frame, g.Rebuild());
  EXPECT_EQ(g.frame.Errore, "sink in AzzeraAggiornaProva");
  EXPECT_EQ(g.conn->commits, 0);
  EXPECT_EQ(g.conn->rollbacks, 1);

  // A failed parameter check: no transaction, no event, no statement.
  Family h;
  h.frame.CPInput->Anno = "2024; DROP TABLE X";
  RunRebuild(h.frame, h.Rebuild());
  EXPECT_EQ(h.frame.Stato, tsParametriNonValidi);
  EXPECT_TRUE(h.events->lines.empty());
  EXPECT_TRUE(h.conn->batches.empty());
  EXPECT_EQ(h.conn->begins, 0);
}

TEST(Drivers, ACheckGoesOnPastAFailingStepAndNeverKeepsOldRows) {
  Family f;
  f.second_fails = true;
  f.frame.CPOutput->RecSetControlloProgressiviPlafond = std::make_shared<db::Recordset>();
  RunCheck(f.frame, f.Check(false));
  EXPECT_EQ(f.frame.Stato, tsProgramError);
  EXPECT_EQ(f.frame.Errore, "guasto simulato in ScriviSecondo");
  EXPECT_EQ(f.events->Joined(),
            "Begin(2)\nBeginProcesso(1)\nAvanzamentoProcesso(1)\nEndProcesso()\nAvanzamento(1)\n"
            "Avanzamento(2)\nEnd()\n");
  EXPECT_FALSE(f.frame.CPOutput->RecSetControlloProgressiviPlafond) << "an earlier call's rows";

  Family months;
  RunCheck(months.frame, months.Check(true));
  EXPECT_EQ(months.events->lines[0], "Begin(2)");
  EXPECT_EQ(months.events->lines[5], "Begin(2)") << "each pass announces the whole loop";

  // A host that dropped the result object gets the error rule, not a crash.
  Family dropped;
  dropped.frame.CPOutput.reset();
  RunCheck(dropped.frame, dropped.Check(false));
  EXPECT_EQ(dropped.frame.Stato, tsProgramError);
  EXPECT_EQ(dropped.frame.Errore, "CPOutput non impostato in ControlloProva");
}

TEST(Drivers, TheAccountCheckClearsItsResultWhenTheFiscalYearIsMissing) {
  auto company = std::make_shared<FakeCompany>();
  company->fiscal_start = db::Variant::Null();
  CLSCG_VERIPROG main(testing::FakeOutside(company));
  main.CPInput()->GConnect = std::make_shared<FakeConnection>();
  main.CPInput()->Ditta = 3;
  main.CPInput()->Esercizio = 2023;
  main.CPInput()->Progressivo = 1;
  main.CPOutput()->RecSetControlloProgressivi = std::make_shared<db::Recordset>();
  main.ControlloProgressiviContabili();
  EXPECT_EQ(main.Stato(), tsParametriNonValidi);
  EXPECT_EQ(main.Errore(), "Esercizio 2023/1 della ditta 3 non trovato");
  EXPECT_FALSE(main.CPOutput()->RecSetControlloProgressivi);

  main.SetCPOutput(nullptr);
  main.ControlloProgressiviContabili();
  EXPECT_EQ(main.Stato(), tsProgramError);
  EXPECT_EQ(main.Errore(), "CPOutput non impostato in ControlloProgressiviContabiliTmp");
}

}  // namespace
}  // namespace veriprog
