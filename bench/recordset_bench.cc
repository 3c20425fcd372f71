// Equality filters on a totals record set: answered from the hash index versus a plain scan of
// the same criteria, and the cost of AddNew. The rebuilds filter once per journal line, so the
// indexed lookup must stay flat as the rows grow.
#include <benchmark/benchmark.h>

#include <string>

#include "veriprog/recordset.h"

namespace {

using veriprog::db::Decimal;
using veriprog::db::FieldDef;
using veriprog::db::Recordset;

Recordset Totals(std::int64_t rows) {
  Recordset rs;
  rs.AppendField(FieldDef::VarChar("CONTOPAR", 20));
  rs.AppendField(FieldDef::Integer("MESE", 2));
  rs.AppendField(FieldDef::Char("VALUTA", 4));
  rs.AppendField(FieldDef::Numeric("FATTURATO", 19, 2));
  rs.Open();
  for (std::int64_t i = 0; i < rows; ++i) {
    rs.AddNew();
    rs.Set("CONTOPAR", "C" + std::to_string(i / 12));
    rs.Set("MESE", 1 + i % 12);
    rs.Set("VALUTA", "EUR");
    rs.Set("FATTURATO", Decimal(i));
  }
  return rs;
}

std::string KeyOf(std::int64_t i) {
  return "CONTOPAR = 'C" + std::to_string(i / 12) + "' AND MESE = " + std::to_string(1 + i % 12) +
         " AND VALUTA = 'EUR'";
}

void BM_FilterIndexed(benchmark::State& state) {
  Recordset rs = Totals(state.range(0));
  std::int64_t i = 0;
  for (auto _ : state) {
    rs.Filter(KeyOf(i));
    benchmark::DoNotOptimize(rs.RecordCount());
    i = (i + 7919) % state.range(0);
  }
}

// The same lookup without the index: "MESE >= 1" is not an equality, so every row is tested.
void BM_FilterScan(benchmark::State& state) {
  Recordset rs = Totals(state.range(0));
  std::int64_t i = 0;
  for (auto _ : state) {
    rs.Filter("MESE >= 1 AND FATTURATO >= " + std::to_string(i) +
              " AND FATTURATO <= " + std::to_string(i));
    benchmark::DoNotOptimize(rs.RecordCount());
    i = (i + 7919) % state.range(0);
  }
}

void BM_AddNew(benchmark::State& state) {
  for (auto _ : state) {
    Recordset rs = Totals(state.range(0));
    benchmark::DoNotOptimize(rs.RecordCount());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// AddNew with an index over the key fields kept up to date, as the accumulating rebuilds do.
void BM_AddNewIndexed(benchmark::State& state) {
  for (auto _ : state) {
    Recordset rs = Totals(0);
    rs.Filter(KeyOf(0));
    for (std::int64_t i = 0; i < state.range(0); ++i) {
      rs.AddNew();
      rs.Set("CONTOPAR", "C" + std::to_string(i / 12));
      rs.Set("MESE", 1 + i % 12);
      rs.Set("VALUTA", "EUR");
    }
    benchmark::DoNotOptimize(rs.RecordCount());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

}  // namespace

BENCHMARK(BM_FilterIndexed)->Arg(1000)->Arg(10000)->Arg(100000);
BENCHMARK(BM_FilterScan)->Arg(1000)->Arg(10000)->Arg(100000);
BENCHMARK(BM_AddNew)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddNewIndexed)->Arg(100000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
