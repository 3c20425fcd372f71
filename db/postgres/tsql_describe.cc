#include "db/postgres/tsql_rewrite.h"
#include "db/postgres/tsql_runner.h"
#include "db/text.h"

// The PostgreSQL text of a T-SQL batch, for people: statements as sent, control flow as comments.
namespace veriprog::db::pg {
namespace {

void Indent(std::string& out, int depth) {
  out.append(static_cast<std::size_t>(depth) * 2, ' ');
}

void Describe(const std::vector<tsql::Node>& nodes, int depth, std::string& out) {
  const tsql::VariableLookup keep = [](const std::string& name) { return name; };
  for (const auto& node : nodes) {
    Indent(out, depth);
    switch (node.kind) {
      case tsql::Node::Kind::kStatement: {
        auto t = tsql::TranslateStatement(node.tokens, keep);
        out += std::string(Trim(t.sql)) + ";\n";
        for (const auto& temp : t.filled_temp_tables) {
          // Done before the first later statement that reads the table.
          Indent(out, depth);
          if (t.index_columns.empty()) {
            out += "-- then: ANALYZE " + temp + ";\n";
          } else {
            out += "-- then: CREATE INDEX ON " + temp + " (" + tsql::ColumnList(t.index_columns) +
                   ");\n";
          }
        }
        break;
      }
      case tsql::Node::Kind::kDeclare:
        for (const auto& [name, type] : node.declarations) {
          out += "-- DECLARE " + name + " " + tsql::TranslateType(type) + "\n";
        }
        break;
      case tsql::Node::Kind::kSet:
        out += "-- SET " + node.variable + " = " +
               std::string(Trim(tsql::TranslateExpression(node.tokens, keep))) + "\n";
        break;
      case tsql::Node::Kind::kIf:
        out += "-- IF " + std::string(Trim(tsql::TranslateExpression(node.tokens, keep))) + "\n";
        Describe({node.children[0]}, depth + 1, out);
        if (node.children.size() > 1) {
          Indent(out, depth);
          out += "-- ELSE\n";
          Describe({node.children[1]}, depth + 1, out);
        }
        break;
      case tsql::Node::Kind::kBlock:
        out += "-- BEGIN\n";
        Describe(node.children, depth + 1, out);
        Indent(out, depth);
        out += "-- END\n";
        break;
      case tsql::Node::Kind::kNoOp:
        out += "-- (session option, no effect)\n";
        break;
    }
  }
}

}  // namespace

std::string TsqlRunner::Translate(std::string_view batch) {
  std::string out;
  Describe(tsql::ParseScript(tsql::Lex(batch)), 0, out);
  return out;
}

}  // namespace veriprog::db::pg
