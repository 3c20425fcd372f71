#include "db/postgres/tsql_script.h"

#include <algorithm>
#include <array>

#include "veriprog/error.h"

namespace veriprog::db::tsql {
namespace {

bool OneOf(const Token& t, std::initializer_list<std::string_view> words) {
  return std::any_of(words.begin(), words.end(), [&](std::string_view w) { return t.IsWord(w); });
}

// Words that open a new statement wherever they stand at the top level.
bool StartsStatement(const Token& t) {
  return OneOf(t,
               {"DECLARE", "IF", "ELSE", "BEGIN", "INSERT", "UPDATE", "DELETE", "DROP", "TRUNCATE",
                "CREATE", "ALTER", "EXEC", "EXECUTE", "PRINT", "RETURN", "WHILE", "MERGE", "GO"});
}

class ScriptParser {
 public:
  explicit ScriptParser(const std::vector<Token>& tokens) : tokens_(tokens) {}

  std::vector<Node> Parse() {
    std::vector<Node> nodes;
    while (true) {
      SkipSeparators();
      if (AtEnd()) return nodes;
      if (Peek().IsWord("END")) Fail("END without BEGIN");
      if (Peek().IsWord("ELSE")) Fail("ELSE without IF");
      nodes.push_back(Statement());
    }
  }

 private:
  Node Statement() {
    SkipSeparators();
    if (AtEnd()) Fail("a statement is missing at the end of the batch");
    const Token& first = Peek();
    if (first.IsWord("GO")) Fail("the batch separator GO is not supported inside a batch");
    if (first.IsWord("IF")) return If();
    if (first.IsWord("BEGIN")) return Block();
    if (first.IsWord("DECLARE")) return Declare();
    if (first.IsWord("SET")) return Set();
    if (first.IsWord("WHILE") || first.IsWord("GOTO") || first.IsWord("EXEC") ||
        first.IsWord("EXECUTE") || first.IsWord("MERGE") || first.IsWord("PRINT") ||
        first.IsWord("RETURN")) {
      Fail(first.Upper() + " is not supported");
    }
    Node node;
    node.tokens = SqlStatement();
    return node;
  }

  Node If() {
    Advance();  // IF
    Node node;
    node.kind = Node::Kind::kIf;
    node.tokens = Until([](const Token& t, const Token*) {
      return StartsStatement(t) || t.IsWord("SELECT") || t.IsWord("SET") || t.IsWord("WITH");
    });
    if (TrimmedEmpty(node.tokens)) Fail("IF without a condition");
    node.children.push_back(Statement());
    SkipSeparators();
    if (!AtEnd() && Peek().IsWord("ELSE")) {
      Advance();
      node.children.push_back(Statement());
    }
    return node;
  }

  Node Block() {
    Advance();  // BEGIN
    if (!AtEnd() && (Peek().IsWord("TRAN") || Peek().IsWord("TRANSACTION") ||
                     Peek().IsWord("TRY") || Peek().IsWord("CATCH"))) {
      Fail("BEGIN " + Peek().Upper() + " is not supported");
    }
    Node node;
    node.kind = Node::Kind::kBlock;
    while (true) {
      SkipSeparators();
      if (AtEnd()) Fail("BEGIN without END");
      if (Peek().IsWord("END")) {
        Advance();
        return node;
      }
      node.children.push_back(Statement());
    }
  }

  Node Declare() {
    Advance();  // DECLARE
    Node node;
    node.kind = Node::Kind::kDeclare;
    const std::vector<Token> body = Until([](const Token& t, const Token*) {
      return StartsStatement(t) || t.IsWord("SET") || t.IsWord("SELECT") || t.IsWord("WITH");
    });
    std::vector<Token> current;
    int depth = 0;
    auto flush = [&] {
      std::size_t i = 0;
      while (i < current.size() && !current[i].significant())
        ++i;
      if (i == current.size() || current[i].kind != TokenKind::kVariable) {
        Fail("DECLARE expects @name followed by a type");
      }
      std::string name = current[i].Upper();
      std::vector<Token> type(current.begin() + static_cast<long>(i) + 1, current.end());
      if (!type.empty() && type.front().IsWord("AS")) type.erase(type.begin());
      for (const auto& t : type) {
        if (t.IsSymbol("=")) Fail("DECLARE with an initial value is not supported");
      }
      if (TrimmedEmpty(type)) Fail("DECLARE " + name + " without a type");
      node.declarations.emplace_back(std::move(name), std::move(type));
      current.clear();
    };
    for (const Token& t : body) {
      if (t.IsSymbol("(")) ++depth;
      if (t.IsSymbol(")")) --depth;
      if (depth == 0 && t.IsSymbol(",")) {
        flush();
      } else {
        current.push_back(t);
      }
    }
    flush();
    return node;
  }

  Node Set() {
    Advance();  // SET
    SkipSpaces();
    Node node;
    if (AtEnd()) Fail("SET without a variable");
    if (Peek().kind != TokenKind::kVariable) {
      // SET NOCOUNT ON, SET ANSI_WARNINGS OFF ...: session options.
      node.kind = Node::Kind::kNoOp;
      Until([](const Token& t, const Token*) {
        return StartsStatement(t) || t.IsWord("SET") || t.IsWord("SELECT");
      });
      return node;
    }
    node.kind = Node::Kind::kSet;
    node.variable = Peek().Upper();
    Advance();
    SkipSpaces();
    if (AtEnd() || !Peek().IsSymbol("=")) Fail("SET " + node.variable + " expects =");
    Advance();
    node.tokens = Until([](const Token& t, const Token*) {
      return StartsStatement(t) || t.IsWord("SELECT") || t.IsWord("SET") || t.IsWord("WITH");
    });
    if (TrimmedEmpty(node.tokens)) Fail("SET " + node.variable + " without a value");
    return node;
  }

  // One SQL statement: up to a ';' or the first word that opens another statement.
  std::vector<Token> SqlStatement() {
    const Token& first = Peek();
    bool awaiting_main = first.IsWord("WITH");
    bool insert_pending = first.IsWord("INSERT");
    std::vector<Token> out;
    out.push_back(first);
    Advance();
    int depth = 0;
    int case_depth = 0;
    std::string prev = first.Upper();  // last significant word, upper case
    while (!AtEnd()) {
      const Token& t = Peek();
      if (!t.significant()) {
        out.push_back(t);
        Advance();
        continue;
      }
      if (t.IsSymbol("(")) ++depth;
      if (t.IsSymbol(")") && --depth < 0) Fail("unbalanced ')'");
      if (depth == 0) {
        if (t.IsSymbol(";")) break;
        if (t.kind == TokenKind::kWord) {
          if (t.IsWord("CASE")) {
            ++case_depth;
          } else if (t.IsWord("END")) {
            if (case_depth == 0) break;
            --case_depth;
          } else if (case_depth > 0) {
            // inside CASE ... END every word belongs to the expression
          } else if (awaiting_main && OneOf(t, {"SELECT", "INSERT", "UPDATE", "DELETE"})) {
            awaiting_main = false;
            insert_pending = t.IsWord("INSERT");
          } else if (t.IsWord("SELECT")) {
            if (insert_pending) {
              insert_pending = false;
            } else if (prev != "UNION" && prev != "ALL" && prev != "EXCEPT" &&
                       prev != "INTERSECT") {
              break;
            }
          } else if (t.IsWord("VALUES") && insert_pending) {
            insert_pending = false;
          } else if (t.IsWord("SET")) {
            if (NextSignificantIs(TokenKind::kVariable)) break;
          } else if (t.IsWord("WITH")) {
            if (!NextSignificantIsSymbol("(")) break;
          } else if (StartsStatement(t)) {
            break;
          }
        }
      }
      out.push_back(t);
      prev = t.kind == TokenKind::kWord ? t.Upper() : std::string();
      Advance();
    }
    if (depth > 0) Fail("'(' left open");
    while (!out.empty() && !out.back().significant())
      out.pop_back();
    return out;
  }

  // Tokens up to (not including) the first top-level token that `stop` accepts.
  template <typename Stop>
  std::vector<Token> Until(Stop stop) {
    std::vector<Token> out;
    int depth = 0;
    int case_depth = 0;
    while (!AtEnd()) {
      const Token& t = Peek();
      if (t.significant()) {
        if (t.IsSymbol("(")) ++depth;
        if (t.IsSymbol(")") && --depth < 0) Fail("unbalanced ')'");
        if (depth == 0) {
          if (t.IsSymbol(";")) break;
          if (t.IsWord("CASE")) {
            ++case_depth;
          } else if (t.IsWord("END") && case_depth > 0) {
            --case_depth;
          } else if (case_depth == 0 && (t.IsWord("END") || stop(t, nullptr))) {
            break;
          }
        }
      }
      out.push_back(t);
      Advance();
    }
    if (depth > 0) Fail("'(' left open");
    while (!out.empty() && !out.back().significant())
      out.pop_back();
    return out;
  }

  bool NextSignificantIs(TokenKind kind) const {
    for (std::size_t i = pos_ + 1; i < tokens_.size(); ++i) {
      if (tokens_[i].significant()) return tokens_[i].kind == kind;
    }
    return false;
  }
  bool NextSignificantIsSymbol(std::string_view s) const {
    for (std::size_t i = pos_ + 1; i < tokens_.size(); ++i) {
      if (tokens_[i].significant()) return tokens_[i].IsSymbol(s);
    }
    return false;
  }

  static bool TrimmedEmpty(const std::vector<Token>& tokens) {
    return std::none_of(tokens.begin(), tokens.end(),
                        [](const Token& t) { return t.significant(); });
  }

  void SkipSpaces() {
    while (!AtEnd() && !Peek().significant())
      Advance();
  }
  void SkipSeparators() {
    while (!AtEnd() && (!Peek().significant() || Peek().IsSymbol(";")))
      Advance();
  }
  bool AtEnd() const { return pos_ >= tokens_.size(); }
  const Token& Peek() const { return tokens_[pos_]; }
  void Advance() { ++pos_; }

  [[noreturn]] void Fail(const std::string& what) const {
    std::string near;
    for (std::size_t i = pos_; i < tokens_.size() && near.size() < 40; ++i)
      near += tokens_[i].text;
    throw DbError("T-SQL: " + what + (near.empty() ? "" : " near: " + near));
  }

  const std::vector<Token>& tokens_;
  std::size_t pos_ = 0;
};

}  // namespace

std::vector<Node> ParseScript(const std::vector<Token>& tokens) {
  return ScriptParser(tokens).Parse();
}

}  // namespace veriprog::db::tsql
