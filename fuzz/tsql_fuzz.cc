// Any text through the T-SQL lexer, the script splitter and the rewriter: refused with a
// DbError or translated, never a crash, a hang or a read out of bounds. The lexer must also give
// back exactly the text it was given.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "db/postgres/tsql_lexer.h"
#include "db/postgres/tsql_rewrite.h"
#include "db/postgres/tsql_script.h"
#include "veriprog/error.h"

namespace {

using namespace veriprog::db;

std::optional<std::string> Lookup(const std::string& name) {
  if (name == "@@ROWCOUNT") return "1";
  return "CAST('1' AS numeric)";
}

void Translate(const tsql::Node& node) {
  try {
    switch (node.kind) {
      case tsql::Node::Kind::kStatement:
        tsql::TranslateStatement(node.tokens, Lookup);
        break;
      case tsql::Node::Kind::kSet:
      case tsql::Node::Kind::kIf:
        tsql::TranslateExpression(node.tokens, Lookup);
        break;
      case tsql::Node::Kind::kDeclare:
        for (const auto& [name, type] : node.declarations)
          tsql::TranslateType(type);
        break;
      default:
        break;
    }
  } catch (const DbError&) {
  }
  for (const auto& child : node.children)
    Translate(child);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<tsql::Token> tokens;
  try {
    tokens = tsql::Lex(text);
  } catch (const DbError&) {
    return 0;
  }
  if (tsql::Join(tokens) != text) std::abort();  // the lexer must lose nothing
  try {
    for (const auto& node : tsql::ParseScript(tokens))
      Translate(node);
  } catch (const DbError&) {
  }
  return 0;
}
