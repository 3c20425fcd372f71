// The two development schemas, PostgreSQL's and SQL Server's, kept in step: the same tables, the
// same columns in the same order with types of the same range and scale, nullability, identity
// columns, primary keys and indexes (columns, included columns and filter), read from the files
// as they are sent.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace veriprog {
namespace {

std::string Read(const std::string& path) {
  std::ifstream in(std::string(VERIPROG_SOURCE_DIR) + "/" + path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Upper(std::string s) {
  for (char& c : s)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// Comments out, blanks folded, upper case, the dbo. schema and GO lines gone.
std::string Normal(std::string text) {
  text = std::regex_replace(text, std::regex("--[^\n]*"), "");
  text = std::regex_replace(text, std::regex("\nGO[ \t]*\r?\n"), "\n");
  text = std::regex_replace(text, std::regex("dbo\\."), "");
  text = std::regex_replace(text, std::regex("\\s+"), " ");
  return Upper(text);
}

// A type as the two servers agree on it.
std::string CommonType(std::string type) {
  type = std::regex_replace(type, std::regex(" "), "");
  const std::map<std::string, std::string> same = {
      {"INTEGER", "INT"}, {"DATE", "DATETIME"}, {"TIMESTAMP", "DATETIME"}};
  if (auto it = same.find(type); it != same.end()) return it->second;
  type = std::regex_replace(type, std::regex("^NUMERIC"), "DECIMAL");
  type = std::regex_replace(type, std::regex("^NVARCHAR"), "VARCHAR");
  type = std::regex_replace(type, std::regex("^NCHAR"), "CHAR");
  return type;
}

// Top-level items of a table body, split on the commas outside parentheses.
std::vector<std::string> Items(const std::string& body) {
  std::vector<std::string> items(1);
  int depth = 0;
  for (char c : body) {
    if (c == '(') ++depth;
    if (c == ')') --depth;
    if (c == ',' && depth == 0) {
      items.emplace_back();
    } else {
      items.back() += c;
    }
  }
  for (auto& item : items)
    item = std::regex_replace(item, std::regex("^ +| +$"), "");
  return items;
}

struct Schema {
  std::map<std::string, std::vector<std::string>> tables;  // table -> "COLUMN TYPE [NOT NULL] ..."
  std::map<std::string, std::string> keys;                 // table -> primary key columns
  std::map<std::string, std::string> indexes;              // name -> what it covers
};

Schema Parse(const std::string& file) {
  Schema schema;
  const std::string text = Normal(Read(file));
  const std::regex table("CREATE TABLE (\\w+) \\((.*?)\\)(?: WITH \\([^)]*\\))?;");
  for (std::sregex_iterator it(text.begin(), text.end(), table), end; it != end; ++it) {
    const std::string name = (*it)[1];
    for (const std::string& item : Items((*it)[2])) {
      std::smatch m;
      if (std::regex_match(item, m, std::regex("(CHECK|CONSTRAINT|UNIQUE|FOREIGN) .*"))) continue;
      if (std::regex_match(item, m, std::regex("PRIMARY KEY ?\\((.*)\\)"))) {
        schema.keys[name] = std::regex_replace(m[1].str(), std::regex(" "), "");
      } else if (std::regex_match(item, m, std::regex("(\\w+) (\\w+(?: ?\\([0-9, ]+\\))?)(.*)"))) {
        const std::string rest = m[3];
        std::string column = m[1].str() + " " + CommonType(m[2]);
        if (rest.find("NOT NULL") != std::string::npos ||
            rest.find("PRIMARY KEY") != std::string::npos)
          column += " NOT NULL";
        if (rest.find("IDENTITY") != std::string::npos) column += " IDENTITY";
        if (rest.find("PRIMARY KEY") != std::string::npos) schema.keys[name] = m[1];
        schema.tables[name].push_back(column);
      } else {
        ADD_FAILURE() << file << ": cannot read an item of " << name << ": " << item;
      }
    }
  }
  // SQL Server allows no function in an index's filter: ISNULL(c, 'EURO') <> 'EURO' is written
  // c <> 'EURO' there, which leaves out the same rows.
  const std::regex index("CREATE (UNIQUE )?INDEX (\\w+) ON (\\w+) \\(([^)]*)\\)([^;]*);");
  for (std::sregex_iterator it(text.begin(), text.end(), index), end; it != end; ++it) {
    schema.indexes[(*it)[2]] =
        (*it)[1].str() + (*it)[3].str() + " (" +
        std::regex_replace((*it)[4].str(), std::regex(" "), "") + ")" +
        std::regex_replace(std::regex_replace((*it)[5].str(), std::regex(" "), ""),
                           std::regex("COALESCE\\((\\w+),'EURO'\\)"), "$1");
  }
  return schema;
}

TEST(SchemaParity, PostgresAndSqlServerHoldTheSameTablesColumnsKeysAndIndexes) {
  const Schema pg = Parse("sql/postgres/schema.sql");
  const Schema ss = Parse("sql/sqlserver/schema.sql");
  ASSERT_GT(pg.tables.size(), 20u);
  std::vector<std::string> pg_names, ss_names;
  for (const auto& [name, columns] : pg.tables)
    pg_names.push_back(name);
  for (const auto& [name, columns] : ss.tables)
    ss_names.push_back(name);
  EXPECT_EQ(pg_names, ss_names);
  for (const auto& [name, columns] : pg.tables) {
    if (!ss.tables.count(name)) continue;
    EXPECT_EQ(columns, ss.tables.at(name)) << name;
    EXPECT_EQ(pg.keys.count(name) ? pg.keys.at(name) : "",
              ss.keys.count(name) ? ss.keys.at(name) : "")
        << name;
  }
  EXPECT_EQ(pg.indexes, ss.indexes);
}

}  // namespace
}  // namespace veriprog
