#include "veriprog/row_table.h"

#include <algorithm>
#include <limits>

#include "db/text.h"
#include "veriprog/error.h"

namespace veriprog::db {

bool HashIndex::Covers(std::size_t field) const {
  return std::find(fields_.begin(), fields_.end(), field) != fields_.end();
}

std::size_t HashIndex::Combine(std::size_t seed, std::size_t hash) {
  return seed ^ (hash + 0x9E3779B97F4A7C15ULL + (seed << 6) + (seed >> 2));
}

std::optional<std::size_t> HashIndex::KeyHash(const std::vector<Variant>& row_values) const {
  std::size_t h = 0;
  for (std::size_t f : fields_) {
    const Variant& v = row_values[f];
    if (!v.has_value()) return std::nullopt;
    h = Combine(h, SqlHash(v));
  }
  return h;
}

void HashIndex::Insert(RowId row, std::size_t hash) {
  auto& bucket = buckets_[hash];
  if (bucket.empty() || bucket.back() < row) {
    bucket.push_back(row);
  } else {
    bucket.insert(std::lower_bound(bucket.begin(), bucket.end(), row), row);
  }
}

void HashIndex::Erase(RowId row, std::size_t hash) {
  auto it = buckets_.find(hash);
  if (it == buckets_.end()) return;
  auto& bucket = it->second;
  auto pos = std::lower_bound(bucket.begin(), bucket.end(), row);
  if (pos != bucket.end() && *pos == row) bucket.erase(pos);
  if (bucket.empty()) buckets_.erase(it);
}

const std::vector<RowId>* HashIndex::Bucket(std::size_t hash) const {
  auto it = buckets_.find(hash);
  return it == buckets_.end() ? nullptr : &it->second;
}

void RowTable::AppendField(FieldDef field) {
  const std::string key = ToUpperAscii(field.name);
  if (field.name.empty()) throw DbError("a field needs a name");
  if (by_name_.contains(key)) throw DbError("duplicate field name " + field.name);
  by_name_.emplace(key, fields_.size());
  fields_.push_back(std::move(field));
  for (Row& row : rows_)
    row.values.emplace_back();
}

std::optional<std::size_t> RowTable::FieldIndex(std::string_view name) const {
  auto it = by_name_.find(ToUpperAscii(name));
  if (it == by_name_.end()) return std::nullopt;
  return it->second;
}

std::size_t RowTable::RequireField(std::string_view name) const {
  if (auto i = FieldIndex(name)) return *i;
  throw DbError("unknown field " + std::string(name));
}

RowId RowTable::AddRow() {
  if (rows_.size() >= std::numeric_limits<RowId>::max()) throw DbError("too many rows");
  Row row;
  row.values.resize(fields_.size());
  row.status = RowStatus::kNew;
  rows_.push_back(std::move(row));
  // A row of Empty values belongs to no index yet; SetValue adds it when its key is complete.
  return static_cast<RowId>(rows_.size() - 1);
}

RowId RowTable::AppendLoadedRow(std::vector<Variant> values) {
  if (values.size() != fields_.size()) throw DbError("row does not match the fields");
  if (rows_.size() >= std::numeric_limits<RowId>::max()) throw DbError("too many rows");
  const auto id = static_cast<RowId>(rows_.size());
  rows_.push_back(Row{std::move(values), {}, RowStatus::kUnchanged});
  for (auto& [fields, index] : indexes_) {
    if (auto h = index.KeyHash(rows_[id].values)) index.Insert(id, *h);
  }
  return id;
}

void RowTable::SetValue(RowId id, std::size_t field, const Variant& value) {
  Variant stored = CoerceToField(fields_.at(field), value);
  Row& row = rows_.at(id);
  if (row.values[field] == stored && row.values[field].kind() == stored.kind()) return;

  std::vector<std::pair<HashIndex*, std::optional<std::size_t>>> touched;
  for (auto& [fields, index] : indexes_) {
    if (index.Covers(field)) touched.emplace_back(&index, index.KeyHash(row.values));
  }
  if (row.status == RowStatus::kUnchanged) {
    row.original = row.values;
    row.status = RowStatus::kModified;
  }
  row.values[field] = std::move(stored);
  for (auto& [index, old_hash] : touched) {
    const auto new_hash = index->KeyHash(row.values);
    if (old_hash == new_hash) continue;
    if (old_hash) index->Erase(id, *old_hash);
    if (new_hash) index->Insert(id, *new_hash);
  }
}

void RowTable::MarkSaved(RowId id, std::vector<Variant> values) {
  Row& row = rows_.at(id);
  if (values.size() != fields_.size()) throw DbError("row does not match the fields");
  for (auto& [fields, index] : indexes_) {
    const auto old_hash = index.KeyHash(row.values);
    const auto new_hash = index.KeyHash(values);
    if (old_hash == new_hash) continue;
    if (old_hash) index.Erase(id, *old_hash);
    if (new_hash) index.Insert(id, *new_hash);
  }
  row.values = std::move(values);
  row.status = RowStatus::kUnchanged;
  row.original.clear();
}

void RowTable::Clear() {
  rows_.clear();
  indexes_.clear();
}

const HashIndex& RowTable::IndexOn(const std::vector<std::size_t>& fields) {
  auto it = indexes_.find(fields);
  if (it != indexes_.end()) return it->second;
  HashIndex index(fields);
  for (RowId id = 0; id < rows_.size(); ++id) {
    if (auto h = index.KeyHash(rows_[id].values)) index.Insert(id, *h);
  }
  return indexes_.emplace(fields, std::move(index)).first->second;
}

}  // namespace veriprog::db
