#include "veriprog/recordset.h"

#include <algorithm>

#include "veriprog/error.h"

namespace veriprog::db {
namespace {

// A criteria value as the field's own type, so that '2024' matches a number and 7 a code.
Variant ConvertForField(const FieldDef& field, const Variant& value) {
  switch (field.type) {
    case FieldType::kChar:
    case FieldType::kVarChar:
      return value.ToText();
    case FieldType::kDecimal:
    case FieldType::kInteger:
      if (auto d = value.ToDecimal()) return *d;
      break;
    case FieldType::kBoolean:
    case FieldType::kDateTime:
      try {
        return CoerceToField(field, value);
      } catch (const DbError&) {
      }
      break;
  }
  throw DbError("invalid criteria: '" + value.ToText() + "' cannot be compared with field " +
                field.name);
}

}  // namespace

Recordset::Recordset() : table_(std::make_shared<RowTable>()) {}

void Recordset::AppendField(FieldDef field) {
  if (open_) throw DbError("fields cannot be appended to an open record set");
  table_->AppendField(std::move(field));
}

void Recordset::Open() {
  if (table_->fields().empty()) throw DbError("a record set needs at least one field");
  open_ = true;
  view_.reset();
  filter_text_.clear();
  position_ = 0;
}

void Recordset::Open(std::string_view sql, std::shared_ptr<Connection> connection) {
  if (!connection) throw DbError("no active connection to open the record set on");
  QueryResult result = connection->Query(sql);
  table_ = std::move(result.table);
  target_ = std::move(result.target);
  connection_ = std::move(connection);
  source_ = std::string(sql);
  open_ = true;
  view_.reset();
  filter_text_.clear();
  position_ = 0;
}

Recordset Recordset::FromResult(QueryResult result, std::shared_ptr<Connection> connection) {
  Recordset rs;
  rs.table_ = std::move(result.table);
  rs.target_ = std::move(result.target);
  rs.connection_ = std::move(connection);
  rs.open_ = true;
  return rs;
}

void Recordset::Requery() {
  RequireOpen();
  if (!connection_ || source_.empty()) throw DbError("Requery needs a source and a connection");
  Open(std::string(source_), connection_);
}

void Recordset::UpdateBatch(AffectRecords scope) {
  RequireOpen();
  std::vector<RowId> rows;
  if (scope == AffectRecords::kCurrent) {
    if (auto id = current_row()) rows.push_back(*id);
  } else {
    rows = VisibleRows();
  }
  std::erase_if(rows, [&](RowId id) { return table_->row(id).status == RowStatus::kUnchanged; });
  if (rows.empty()) return;
  if (!connection_) throw DbError("UpdateBatch needs an active connection");
  if (!target_) {
    throw DbError(
        "rows of this record set cannot be written back: it does not come from one "
        "table with a primary key");
  }
  connection_->WriteBack(*table_, *target_, rows);
}

std::optional<std::size_t> Recordset::FieldIndex(std::string_view name) const {
  return table_->FieldIndex(name);
}

void Recordset::RequireOpen() const {
  if (!open_) throw DbError("the record set is not open");
}

std::size_t Recordset::ViewSize() const {
  return view_ ? view_->size() : table_->size();
}

RowId Recordset::RowAt(std::size_t position) const {
  return view_ ? (*view_)[position] : static_cast<RowId>(position);
}

void Recordset::MoveFirst() {
  RequireOpen();
  position_ = 0;
}

void Recordset::MoveNext() {
  RequireOpen();
  if (eof()) throw DbError("MoveNext past the end of the record set");
  ++position_;
}

bool Recordset::eof() const {
  return !open_ || position_ >= static_cast<std::int64_t>(ViewSize());
}

bool Recordset::bof() const {
  return !open_ || position_ < 0 || ViewSize() == 0;
}

std::int64_t Recordset::RecordCount() const {
  RequireOpen();
  return static_cast<std::int64_t>(ViewSize());
}

std::int64_t Recordset::AbsolutePosition() const {
  if (!open_) return kPosUnknown;
  if (position_ < 0) return kPosBof;
  if (eof()) return kPosEof;
  return position_ + 1;
}

std::optional<RowId> Recordset::current_row() const {
  if (bof() || eof()) return std::nullopt;
  return RowAt(static_cast<std::size_t>(position_));
}

RowId Recordset::RequireCurrent() const {
  RequireOpen();
  if (auto id = current_row()) return *id;
  throw DbError("no current row: the record set is at BOF or EOF");
}

std::vector<RowId> Recordset::VisibleRows() const {
  if (view_) return *view_;
  std::vector<RowId> all(table_->size());
  for (RowId i = 0; i < all.size(); ++i)
    all[i] = i;
  return all;
}

const Variant& Recordset::Get(std::string_view name) const {
  return Get(table_->RequireField(name));
}

const Variant& Recordset::Get(std::size_t field) const {
  const RowId id = RequireCurrent();
  if (field >= table_->fields().size()) throw DbError("field position out of range");
  return table_->row(id).values[field];
}

void Recordset::Set(std::string_view name, const Variant& value) {
  Set(table_->RequireField(name), value);
}

void Recordset::Set(std::size_t field, const Variant& value) {
  const RowId id = RequireCurrent();
  if (field >= table_->fields().size()) throw DbError("field position out of range");
  table_->SetValue(id, field, value);
}

void Recordset::AddNew() {
  RequireOpen();
  const RowId id = table_->AddRow();
  if (view_) {
    view_->push_back(id);
    position_ = static_cast<std::int64_t>(view_->size() - 1);
  } else {
    position_ = static_cast<std::int64_t>(id);
  }
}

void Recordset::Update() {
  const RowId id = RequireCurrent();
  const auto& fields = table_->fields();
  const Row& row = table_->row(id);
  for (std::size_t f = 0; f < fields.size(); ++f) {
    if (!fields[f].nullable && row.values[f].is_null()) {
      throw DbError("field " + fields[f].name + " cannot be Null");
    }
  }
}

std::vector<Recordset::BoundCriterion> Recordset::Bind(
    const std::vector<Criterion>& criteria) const {
  std::vector<BoundCriterion> bound;
  bound.reserve(criteria.size());
  for (const Criterion& c : criteria) {
    auto field = table_->FieldIndex(c.field);
    if (!field) throw DbError("invalid criteria: unknown field " + c.field);
    bound.push_back({*field, c.op, ConvertForField(table_->fields()[*field], c.value)});
  }
  return bound;
}

bool Recordset::Matches(RowId id, const std::vector<BoundCriterion>& criteria) const {
  const auto& values = table_->row(id).values;
  for (const BoundCriterion& c : criteria) {
    const auto cmp = Compare(values[c.field], c.value, TextCompare::kSql);
    if (!cmp || !Satisfies(c.op, *cmp)) return false;
  }
  return true;
}

void Recordset::Filter(std::string_view criteria) {
  RequireOpen();
  if (criteria.find_first_not_of(" \t\r\n") == std::string_view::npos) {
    ClearFilter();
    return;
  }
  const auto bound = Bind(ParseCriteria(criteria));

  // Equality terms pick the candidates from the index over their fields; every term is then
  // checked on each candidate, so a hash collision never lets a wrong row through.
  std::vector<std::pair<std::size_t, const Variant*>> keys;
  for (const auto& c : bound) {
    if (c.op != CompareOp::kEq) continue;
    const bool seen =
        std::any_of(keys.begin(), keys.end(), [&](const auto& k) { return k.first == c.field; });
    if (!seen) keys.emplace_back(c.field, &c.value);
  }
  std::sort(keys.begin(), keys.end());

  std::vector<RowId> rows;
  if (!keys.empty()) {
    std::vector<std::size_t> fields;
    std::size_t hash = 0;
    for (const auto& [field, value] : keys) {
      fields.push_back(field);
      hash = HashIndex::Combine(hash, SqlHash(*value));
    }
    if (const auto* bucket = table_->IndexOn(fields).Bucket(hash)) {
      for (RowId id : *bucket) {
        if (Matches(id, bound)) rows.push_back(id);
      }
    }
  } else {
    for (RowId id = 0; id < table_->size(); ++id) {
      if (Matches(id, bound)) rows.push_back(id);
    }
  }
  view_ = std::move(rows);
  filter_text_ = std::string(criteria);
  position_ = 0;
}

void Recordset::ClearFilter() {
  RequireOpen();
  view_.reset();
  filter_text_.clear();
  position_ = 0;
}

void Recordset::Find(std::string_view criterion) {
  RequireOpen();
  const auto bound = Bind(ParseCriteria(criterion));
  if (bound.size() != 1) throw DbError("Find takes a single criterion");
  const auto size = static_cast<std::int64_t>(ViewSize());
  for (std::int64_t p = std::max<std::int64_t>(position_, 0); p < size; ++p) {
    if (Matches(RowAt(static_cast<std::size_t>(p)), bound)) {
      position_ = p;
      return;
    }
  }
  position_ = size;
}

Recordset Recordset::Clone() const {
  RequireOpen();
  Recordset copy;
  copy.table_ = table_;
  copy.connection_ = connection_;
  copy.target_ = target_;
  copy.source_ = source_;
  copy.open_ = true;
  return copy;
}

}  // namespace veriprog::db
