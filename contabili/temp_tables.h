// The batch that drops temporary tables of the account operations when they exist: one
// "IF OBJECT_ID(N'tempdb..#T', N'U') IS NOT NULL / DROP TABLE #T ;" pair per table.
#pragma once

#include <initializer_list>
#include <string>

namespace veriprog::contabili {

inline std::string DropTempTablesBatch(std::initializer_list<const char*> tables) {
  std::string batch;
  for (const char* t : tables) {
    if (!batch.empty()) batch += "\r";
    batch += std::string("IF OBJECT_ID(N'tempdb..") + t + "', N'U') IS NOT NULL\r  DROP TABLE " +
             t + " ;\r";
  }
  return batch;
}

}  // namespace veriprog::contabili
