// Recordset: a client-side, fully fetched set of rows with a cursor, the way the component walks
// journal lines and accumulates totals: move first/next, fields by name, Filter and Find with
// criteria text, AddNew/Update, Clone. Rows live in a RowTable shared with the clones; each
// Recordset owns only its cursor and filter. Failures throw DbError; the component's routine
// guard turns them into Stato/Errore.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "veriprog/connection.h"
#include "veriprog/criteria.h"
#include "veriprog/field.h"
#include "veriprog/row_table.h"
#include "veriprog/variant.h"

namespace veriprog::db {

// UpdateBatch scope: the current row only, or every added or changed row in view.
enum class AffectRecords { kCurrent, kAll };

class Recordset {
 public:
  // AbsolutePosition outside the rows, with the values ADO hosts know.
  static constexpr std::int64_t kPosUnknown = -1;
  static constexpr std::int64_t kPosBof = -2;
  static constexpr std::int64_t kPosEof = -3;

  Recordset();
  Recordset(Recordset&&) noexcept = default;
  Recordset& operator=(Recordset&&) noexcept = default;
  Recordset(const Recordset&) = delete;  // sharing rows is explicit: Clone
  Recordset& operator=(const Recordset&) = delete;

  // Fabricated record sets: append fields, then Open. Appending after Open throws.
  void AppendField(FieldDef field);
  void Open();
  bool is_open() const { return open_; }

  // Opens on a query, fully fetched, with the connection active for Requery and UpdateBatch.
  void Open(std::string_view sql, std::shared_ptr<Connection> connection);
  // A record set over rows already fetched (the result of Connection::Execute).
  static Recordset FromResult(QueryResult result, std::shared_ptr<Connection> connection);
  // Runs the query again: fresh rows, no filter, first row current.
  void Requery();
  // Writes added and changed rows back: the current row, or all such rows in view. Rows of
  // a query over more than one table, or over a table without a primary key, cannot be written.
  void UpdateBatch(AffectRecords scope = AffectRecords::kAll);
  // Lets go of the connection; the rows stay readable and editable.
  void Detach() { connection_.reset(); }
  const std::shared_ptr<Connection>& active_connection() const { return connection_; }
  const std::string& source() const { return source_; }

  const std::vector<FieldDef>& fields() const { return table_->fields(); }
  std::optional<std::size_t> FieldIndex(std::string_view name) const;

  // Cursor, relative to the current filter. An empty view has BOF and EOF both true.
  void MoveFirst();
  void MoveNext();  // throws at EOF
  bool eof() const;
  bool bof() const;
  std::int64_t RecordCount() const;
  std::int64_t AbsolutePosition() const;  // 1-based, or kPosBof / kPosEof

  // Fields of the current row by name (any case) or position; throws at BOF/EOF.
  const Variant& Get(std::string_view name) const;
  const Variant& Get(std::size_t field) const;
  void Set(std::string_view name, const Variant& value);
  void Set(std::size_t field, const Variant& value);

  // Adds a row of Empty fields and makes it current. The row stays in this record set's view,
  // filtered or not, until the filter is set again.
  void AddNew();
  // Ends the edit of the current row: a non-nullable field holding Null is an error.
  void Update();

  // "FIELD op value [AND ...]": see ParseCriteria. Moves to the first matching row. Values are
  // converted to the field's type; texts compare ignoring case and trailing blanks; a field with
  // no value matches nothing. Equality terms are answered from a hash index. An empty text
  // clears the filter.
  void Filter(std::string_view criteria);
  // Shows all rows again and moves to the first.
  void ClearFilter();
  const std::string& filter() const { return filter_text_; }

  // Moves forward from the current row (included) to the first row meeting one criterion,
  // or to EOF.
  void Find(std::string_view criterion);

  // Same rows, own cursor at the first row and no filter. Rows added through either are
  // seen by the other.
  Recordset Clone() const;

  // For the database layer: the shared rows and the row under the cursor.
  RowTable& table() { return *table_; }
  const RowTable& table() const { return *table_; }
  std::optional<RowId> current_row() const;
  // Ids of the rows in view, in order.
  std::vector<RowId> VisibleRows() const;

 private:
  struct BoundCriterion {
    std::size_t field;
    CompareOp op;
    Variant value;  // already converted to the field's type
  };

  std::vector<BoundCriterion> Bind(const std::vector<Criterion>& criteria) const;
  bool Matches(RowId id, const std::vector<BoundCriterion>& criteria) const;
  std::size_t ViewSize() const;
  RowId RowAt(std::size_t position) const;
  RowId RequireCurrent() const;
  void RequireOpen() const;

  std::shared_ptr<RowTable> table_;
  std::shared_ptr<Connection> connection_;
  std::shared_ptr<const WriteTarget> target_;
  std::string source_;
  bool open_ = false;
  std::optional<std::vector<RowId>> view_;  // nullopt: every row of the table, in order
  std::string filter_text_;
  std::int64_t position_ = 0;  // -1 is BOF, ViewSize() is EOF
};

}  // namespace veriprog::db
