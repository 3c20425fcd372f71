#include "fatturato/ricalcolo_fatturato.h"

#include "frame/sql_text.h"
#include "frame/sql_values.h"

namespace veriprog::fatturato {

RebuildPlan RicalcoloFatturatoImportoIva::Plan() {
  using R = RicalcoloFatturatoImportoIva;
  const auto r = Passi(this);
  return RebuildPlan{
      .routine = "AzzeraAggiornaFatturatoImportoIVA",
      .checks = {Check::kConnection, Check::kCompany, Check::kFiscalYear, Check::kFiscalSequence,
                 Check::kCompanyObject},
      .numeric = {NumericParam::kDitta, NumericParam::kEsercizio, NumericParam::kProgressivo,
                  NumericParam::kCodiceSede},
      .events = {&VeriprogEvents::BeginAzzeraAggiornaFatturatoImportoIVA,
                 &VeriprogEvents::ProcessoAzzeraAggiornaFatturatoImportoIVA,
                 &VeriprogEvents::EndAzzeraAggiornaFatturatoImportoIVA},
      .steps = {
          {"Azzeramento fatturato",
           {r("AzzeraFatturato", &R::AzzeraFatturato),
            r("AzzeraFatturatoValuta", &R::AzzeraFatturatoValuta)}},
          {"Azzeramento importo IVA",
           {r("AzzeraImportoIva", &R::AzzeraImportoIva),
            r("AzzeraImportoIvaValuta", &R::AzzeraImportoIvaValuta)}},
          {"Calcolo fatturato/importo IVA",
           {r("DefinisciRecordsetFatturatoImportoIVA", &R::DefinisciRecordsetFatturatoImportoIVA)}},
          {"Scrittura fatturato", {r("AggiornaFatturato", &R::AggiornaFatturato)}},
          {"Scrittura importo IVA", {r("AggiornaImportoIVA", &R::AggiornaImportoIVA)}},
      }};
}

void RicalcoloFatturatoImportoIva::Esegui() {
  RunRebuild(f_, Plan());
}

std::string RicalcoloFatturatoImportoIva::BranchFilter(std::string_view prefix,
                                                       std::string_view column) const {
  if (!f_.SedeIndicata()) return "";
  const std::string sede = f_.Sede();
  // Branch 0 is "no branch": rows kept with a Null branch are its rows as well.
  if (sede == "0") return std::string(prefix) + "ISNULL(" + std::string(column) + ", 0) = 0";
  return std::string(prefix) + std::string(column) + " = " + sede;
}

// --- steps 1 and 2: resets ---------------------------------------------------------------------

void RicalcoloFatturatoImportoIva::Azzera(const std::function<std::string()>& statement) {
  // Progress opens before the statement is composed: when the company's chart group cannot be
  // read, the host sees the reset begin and fail.
  f_.Raise(kEventiProcesso.begin, 1);
  f_.Connection().Execute(statement());
  f_.Raise(kEventiProcesso.avanzamento, 1);
  f_.Raise(kEventiProcesso.end);
}

void RicalcoloFatturatoImportoIva::AzzeraFatturato() {
  Azzera([this] {
    return "UPDATE " + f_.GetTableName(TableId::kCG52) + " SET CG52_FATTURATO = 0" +
           JoinLines("",
                     FiscalYearCondition(kCG52Year, f_.ChiaveEsercizio(true), " WHERE ", " AND ")) +
           BranchFilter(" AND ", "CG52_CODICE_CG31");
  });
}

void RicalcoloFatturatoImportoIva::AzzeraImportoIva() {
  Azzera([this] {
    return "UPDATE " + f_.GetTableName(TableId::kCG53) + " SET CG53_IMPORTOIVA = 0" +
           JoinLines("",
                     FiscalYearCondition(kCG53Year, f_.ChiaveEsercizio(true), " WHERE ", " AND ")) +
           BranchFilter(" AND ", "CG53_CODICE_CG31");
  });
}

std::string RicalcoloFatturatoImportoIva::CurrencyReset(const CurrencyResetText& t) {
  const std::string pad(t.pad, ' ');
  return "UPDATE " + f_.GetTableName(t.twins) + t.set + " WHERE " + t.link + " IN (" + pad +
         "SELECT " + t.id + pad + "FROM " + f_.GetTableName(t.parents) +
         JoinLines("", FiscalYearCondition(t.year, f_.ChiaveEsercizio(true), pad + "WHERE ",
                                           pad + "AND ")) +
         BranchFilter(std::string(t.branch_pad, ' ') + "AND ", t.branch_column) +
         std::string(t.close_pad, ' ') + ")";
}

void RicalcoloFatturatoImportoIva::AzzeraFatturatoValuta() {
  Azzera([this] {
    return CurrencyReset({.twins = TableId::kCGV1,
                          .set = " SET CGV1_FATTURATO = 0,     CGV1_FATTURATOEURO = 0",
                          .link = "CGV1_IDPROGM_CG52",
                          .parents = TableId::kCG52,
                          .id = "CG52_IDPROGM",
                          .year = kCG52Year,
                          .branch_column = "CG52_CODICE_CG31",
                          .pad = 29,
                          .branch_pad = 24,
                          .close_pad = 23});
  });
}

void RicalcoloFatturatoImportoIva::AzzeraImportoIvaValuta() {
  Azzera([this] {
    return CurrencyReset({.twins = TableId::kCGV0,
                          .set = " SET CGV0_IMPORTOIVA = 0,     CGV0_IMPORTOIVAEURO = 0",
                          .link = "CGV0_IDPROGA_CG53",
                          .parents = TableId::kCG53,
                          .id = "CG53_IDPROGA",
                          .year = kCG53Year,
                          .branch_column = "CG53_CODICE_CG31",
                          .pad = 30,
                          .branch_pad = 30,
                          .close_pad = 28});
  });
}

}  // namespace veriprog::fatturato
