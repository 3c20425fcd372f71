// A fabricated record set filled row by row: the services' answers (a dry run's changes, the
// history's runs and findings) printed and walked like any check's rows. The caller owns it.
#pragma once

#include <utility>
#include <vector>

#include "veriprog/recordset.h"

namespace veriprog {

class FabricatedRows {
 public:
  explicit FabricatedRows(std::vector<db::FieldDef> fields) {
    for (auto& f : fields)
      rs_.AppendField(std::move(f));
    rs_.Open();
  }
  void Add(const std::vector<db::Variant>& values) {
    rs_.AddNew();
    for (std::size_t i = 0; i < values.size(); ++i)
      rs_.Set(i, values[i]);
    rs_.Update();
  }
  // The rows, from the first.
  db::Recordset Take() {
    rs_.MoveFirst();
    return std::move(rs_);
  }

 private:
  db::Recordset rs_;
};

}  // namespace veriprog
