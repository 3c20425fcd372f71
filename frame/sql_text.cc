#include "frame/sql_text.h"

namespace veriprog {

std::string DropTempTablesBatch(std::initializer_list<std::string_view> tables) {
  std::string batch;
  for (auto t : tables) {
    if (!batch.empty()) batch += kCR;
    batch += "IF OBJECT_ID(N'tempdb..";
    batch += t;
    batch += "', N'U') IS NOT NULL\r  DROP TABLE ";
    batch += t;
    batch += " ;\r";
  }
  return batch;
}

std::vector<std::string> FiscalYearCondition(const FiscalYearColumns& columns,
                                             const FiscalYearKey& key, std::string_view first,
                                             std::string_view and_word) {
  auto line = [](std::string_view lead, std::string_view column, const std::string& value) {
    return std::string(lead) + std::string(column) + " = " + value;
  };
  std::vector<std::string> lines = {line(first, columns.ditta, key.ditta),
                                    line(and_word, columns.anno, key.esercizio),
                                    line(and_word, columns.progressivo, key.progressivo)};
  if (!columns.gruppo.empty() && !key.gruppo.empty())
    lines.push_back(line(and_word, columns.gruppo, key.gruppo));
  return lines;
}

}  // namespace veriprog
