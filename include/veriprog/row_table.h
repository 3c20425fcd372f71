// RowTable: the rows and fields of a record set, shared by the record set and its clones, with
// the hash indexes that answer equality filters. The table owns its rows; record sets hold it
// through a shared_ptr and keep only their own cursor and filter.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "veriprog/field.h"
#include "veriprog/variant.h"

namespace veriprog::db {

using RowId = std::uint32_t;

enum class RowStatus { kUnchanged, kModified, kNew };

struct Row {
  std::vector<Variant> values;
  // Values as read, kept from the first change of a read row on: the key of its write-back.
  std::vector<Variant> original;
  RowStatus status = RowStatus::kUnchanged;
};

// Row ids by hash of the values of a set of fields. Rows with no value in one of the fields are
// left out: an equality with Null or Empty never holds. Buckets keep row order.
class HashIndex {
 public:
  explicit HashIndex(std::vector<std::size_t> fields) : fields_(std::move(fields)) {}

  const std::vector<std::size_t>& fields() const { return fields_; }
  bool Covers(std::size_t field) const;

  // Hash of the key values in the order of fields(); nullopt when one of them has no value.
  std::optional<std::size_t> KeyHash(const std::vector<Variant>& row_values) const;
  static std::size_t Combine(std::size_t seed, std::size_t hash);

  void Insert(RowId row, std::size_t hash);  // keeps bucket order
  void Erase(RowId row, std::size_t hash);
  const std::vector<RowId>* Bucket(std::size_t hash) const;

 private:
  std::vector<std::size_t> fields_;
  std::unordered_map<std::size_t, std::vector<RowId>> buckets_;
};

class RowTable {
 public:
  // Throws DbError on a duplicate field name.
  void AppendField(FieldDef field);
  const std::vector<FieldDef>& fields() const { return fields_; }
  // Position of a field by name, ignoring case.
  std::optional<std::size_t> FieldIndex(std::string_view name) const;
  std::size_t RequireField(std::string_view name) const;  // throws DbError for an unknown name

  std::size_t size() const { return rows_.size(); }
  const Row& row(RowId id) const { return rows_[id]; }

  // A row of Empty values, marked new; returns its id.
  RowId AddRow();
  // A row as read from the database, marked unchanged; values already fit the fields.
  RowId AppendLoadedRow(std::vector<Variant> values);
  // Stores a value after CoerceToField, keeping indexes and change tracking up to date.
  void SetValue(RowId id, std::size_t field, const Variant& value);
  // Forgets change tracking once a row has been written back, taking the values the database
  // holds now (identity keys, defaults).
  void MarkSaved(RowId id, std::vector<Variant> values);
  void Clear();

  // Index over the given fields (sorted, distinct), built on first use and kept up to date.
  const HashIndex& IndexOn(const std::vector<std::size_t>& fields);

 private:
  std::vector<FieldDef> fields_;
  std::unordered_map<std::string, std::size_t> by_name_;  // upper-case name -> position
  std::vector<Row> rows_;
  std::map<std::vector<std::size_t>, HashIndex> indexes_;
};

}  // namespace veriprog::db
