// A change set as JSON text and back, for the run history and the plan files. Decimals travel as
// exact strings; a digest over the rest of the text tells an altered file from a sound one.
#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>

#include "component/rebuild_session.h"
#include "veriprog/change_set.h"

namespace veriprog {
namespace {

using Json = nlohmann::ordered_json;
constexpr int kVersion = 1;

const char* TypeOf(const db::Variant& v) {
  switch (v.kind()) {
    case db::Variant::Kind::kBoolean:
      return "boolean";
    case db::Variant::Kind::kInteger:
      return "integer";
    case db::Variant::Kind::kDecimal:
      return "decimal";
    case db::Variant::Kind::kString:
      return "text";
    case db::Variant::Kind::kDateTime:
      return "datetime";
    default:
      return nullptr;
  }
}

Json ValueJson(const db::Variant& v) {
  switch (v.kind()) {
    case db::Variant::Kind::kBoolean:
      return v.AsBoolean();
    case db::Variant::Kind::kInteger:
      return v.AsInteger();
    case db::Variant::Kind::kDecimal:
      return v.AsDecimal().ToString();
    case db::Variant::Kind::kString:
      return v.AsString();
    case db::Variant::Kind::kDateTime:
      return v.AsDateTime().ToString();
    default:
      return nullptr;
  }
}

// Thrown while reading: the text is not a change set of ours.
struct Damaged {
  std::string why;
};

db::Variant ValueOf(const Json& j, const std::string& type, const std::string& column) {
  if (j.is_null()) return db::Variant::Null();
  // A whole number is one whatever its column's other values are: they compare by value.
  if (j.is_number_integer()) return db::Variant(j.get<std::int64_t>());
  if (type == "boolean" && j.is_boolean()) return db::Variant(j.get<bool>());
  if (j.is_string()) {
    const std::string text = j.get<std::string>();
    if (type == "text") return db::Variant(text);
    if (type == "decimal") {
      if (auto d = db::Decimal::TryParse(text)) return db::Variant(*d);
    }
    if (type == "datetime") {
      if (auto t = db::DateTime::Parse(text)) return db::Variant(*t);
    }
  }
  throw Damaged{"the value of " + column + " is not a " + (type.empty() ? "value" : type)};
}

std::string Digest(const Json& body) {
  std::uint64_t h = 0xcbf29ce484222325ULL;
  for (const unsigned char c : body.dump())
    h = (h ^ c) * 0x100000001b3ULL;
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
  return text;
}

Json Optional(const std::optional<std::int64_t>& v) {
  return v ? Json(*v) : Json(nullptr);
}

const Json& Field(const Json& object, const char* name) {
  if (!object.is_object() || !object.contains(name)) throw Damaged{std::string("no ") + name};
  return object.at(name);
}
std::string Text(const Json& object, const char* name) {
  const Json& j = Field(object, name);
  if (!j.is_string()) throw Damaged{std::string(name) + " is not a text"};
  return j.get<std::string>();
}
std::int64_t Whole(const Json& object, const char* name) {
  const Json& j = Field(object, name);
  if (!j.is_number_integer()) throw Damaged{std::string(name) + " is not a whole number"};
  return j.get<std::int64_t>();
}
std::optional<std::int64_t> OptionalWhole(const Json& object, const char* name) {
  if (Field(object, name).is_null()) return std::nullopt;
  return Whole(object, name);
}

TableDiff TableFrom(const Json& t) {
  TableDiff d{Text(t, "table")};
  d.inserted = Whole(t, "inserted");
  d.updated = Whole(t, "updated");
  d.deleted = Whole(t, "deleted");
  d.unchanged = Whole(t, "unchanged");
  std::map<std::string, std::string> types;
  const Json& jt = Field(t, "types");
  if (!jt.is_object()) throw Damaged{"types is not an object"};
  for (const auto& [column, type] : jt.items()) {
    if (!type.is_string()) throw Damaged{"the type of " + column + " is not a text"};
    types[column] = type.get<std::string>();
  }
  const Json& changes = Field(t, "changes");
  if (!changes.is_array()) throw Damaged{"changes is not a list"};
  std::int64_t counted[3] = {0, 0, 0};
  for (const Json& c : changes) {
    RowChange row{Text(c, "change"), {}, {}};
    const int kind = row.kind == "inserted" ? 0 : row.kind == "updated" ? 1 : 2;
    if (kind == 2 && row.kind != "deleted") throw Damaged{"a change of kind " + row.kind};
    ++counted[kind];
    const Json& key = Field(c, "key");
    if (!key.is_object() || key.empty()) throw Damaged{"a change without its key"};
    for (const auto& [column, value] : key.items())
      row.key.emplace_back(column, ValueOf(value, types[column], column));
    const Json& values = Field(c, "values");
    if (!values.is_array()) throw Damaged{"values is not a list"};
    for (const Json& v : values) {
      const std::string column = Text(v, "column");
      ValueChange change{column, {}, {}};
      if (kind != 0) change.before = ValueOf(Field(v, "old"), types[column], column);
      if (kind != 2) change.after = ValueOf(Field(v, "new"), types[column], column);
      row.values.push_back(std::move(change));
    }
    d.changes.push_back(std::move(row));
  }
  if (counted[0] != d.inserted || counted[1] != d.updated || counted[2] != d.deleted)
    throw Damaged{"the counts of " + d.table + " do not match its changes"};
  return d;
}

}  // namespace

std::string ChangeSetToJson(const ChangeSet& c) {
  Json tables = Json::array();
  for (const TableDiff& d : c.diffs) {
    Json types = Json::object(), changes = Json::array();
    auto note = [&](const std::string& column, const db::Variant& v) {
      if (const char* type = TypeOf(v)) types[column] = type;
    };
    for (const RowChange& row : d.changes) {
      Json key = Json::object(), values = Json::array();
      for (const auto& [column, value] : row.key) {
        note(column, value);
        key[column] = ValueJson(value);
      }
      for (const ValueChange& v : row.values) {
        Json value = {{"column", v.column}};
        if (row.kind != "inserted") {
          note(v.column, v.before);
          value["old"] = ValueJson(v.before);
        }
        if (row.kind != "deleted") {
          note(v.column, v.after);
          value["new"] = ValueJson(v.after);
        }
        values.push_back(std::move(value));
      }
      changes.push_back({{"change", row.kind}, {"key", key}, {"values", values}});
    }
    tables.push_back({{"table", d.table},
                      {"inserted", d.inserted},
                      {"updated", d.updated},
                      {"deleted", d.deleted},
                      {"unchanged", d.unchanged},
                      {"types", types},
                      {"changes", changes}});
  }
  Json j = {{"change_set_version", kVersion},
            {"operation", c.operation},
            {"family", c.family},
            {"ditta", c.ditta},
            {"esercizio", c.esercizio},
            {"progressivo", c.progressivo},
            {"anno", c.anno},
            {"branch", Optional(c.branch)},
            {"per_activity", c.per_activity},
            {"activity_code", Optional(c.activity_code)},
            {"activity", Optional(c.activity)},
            {"fingerprint", c.fingerprint},
            {"tables", tables}};
  j["digest"] = Digest(j);
  return j.dump(1);
}

std::optional<ChangeSet> ChangeSetFromJson(std::string_view text, std::string* error) {
  auto fail = [&](const std::string& why) -> std::optional<ChangeSet> {
    if (error) *error = "not a change set: " + why;
    return std::nullopt;
  };
  Json j = Json::parse(text, nullptr, false);
  if (j.is_discarded()) return fail("the text is not JSON");
  try {
    if (!j.is_object() || !j.contains("change_set_version")) return fail("no change_set_version");
    if (Whole(j, "change_set_version") != kVersion) {
      return fail("version " + j["change_set_version"].dump() + ", this program reads " +
                  std::to_string(kVersion));
    }
    const std::string digest = Text(j, "digest");
    j.erase("digest");
    if (Digest(j) != digest) return fail("its digest does not match: the text was altered");
    ChangeSet c;
    c.operation = Text(j, "operation");
    c.family = Text(j, "family");
    const OperationInfo* op = FindOperation(c.operation);
    if (!op || !op->rebuild) return fail(c.operation + " is not a rebuild");
    if (StoredFamily(*op) != c.family)
      return fail(c.operation + " writes the " + StoredFamily(*op) + " totals, not " + c.family);
    c.ditta = Whole(j, "ditta");
    c.esercizio = Whole(j, "esercizio");
    c.progressivo = Whole(j, "progressivo");
    c.anno = Whole(j, "anno");
    c.branch = OptionalWhole(j, "branch");
    if (!Field(j, "per_activity").is_boolean()) return fail("per_activity is not true or false");
    c.per_activity = j["per_activity"].get<bool>();
    c.activity_code = OptionalWhole(j, "activity_code");
    c.activity = OptionalWhole(j, "activity");
    c.fingerprint = Text(j, "fingerprint");
    const Json& tables = Field(j, "tables");
    if (!tables.is_array()) return fail("tables is not a list");
    for (const Json& t : tables)
      c.diffs.push_back(TableFrom(t));
    return c;
  } catch (const Damaged& d) {
    return fail(d.why);
  } catch (const std::exception& e) {
    return fail(e.what());
  }
}

}  // namespace veriprog
