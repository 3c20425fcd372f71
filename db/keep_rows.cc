#include "db/keep_rows.h"

namespace veriprog::db {

QueryResult KeepRows(QueryResult all, const RowFilter& keep) {
  auto kept = std::make_shared<RowTable>();
  for (const FieldDef& field : all.table->fields())
    kept->AppendField(field);
  for (RowId id = 0; id < all.table->size(); ++id) {
    const std::vector<Variant>& values = all.table->row(id).values;
    if (keep(kept->fields(), values)) kept->AppendLoadedRow(values);
  }
  return QueryResult{std::move(kept), std::move(all.target)};
}

QueryResult Connection::QueryKeeping(std::string_view sql, const RowFilter& keep) {
  return KeepRows(Query(sql), keep);
}

}  // namespace veriprog::db
