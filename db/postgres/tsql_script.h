// A T-SQL batch split into its statements and its control flow (DECLARE, SET @v, IF/ELSE,
// BEGIN...END), so that the client can run the control flow statement by statement and send
// each plain statement to the server on its own.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "db/postgres/tsql_lexer.h"

namespace veriprog::db::tsql {

struct Node {
  enum class Kind {
    kStatement,  // tokens: one SQL statement, without its ';'
    kDeclare,    // declarations: @name and its type
    kSet,        // variable = tokens (an expression)
    kIf,         // tokens: the condition; children: then, and else when present
    kBlock,      // children: the statements between BEGIN and END
    kNoOp,       // SET NOCOUNT ON and other session options without effect here
  };
  Kind kind = Kind::kStatement;
  std::vector<Token> tokens;
  std::string variable;  // upper case, with its @
  std::vector<std::pair<std::string, std::vector<Token>>> declarations;
  std::vector<Node> children;
};

// Throws DbError naming the construct for what it cannot split: an END without BEGIN, an IF
// without a statement, a parenthesis left open, a batch separator GO.
std::vector<Node> ParseScript(const std::vector<Token>& tokens);

}  // namespace veriprog::db::tsql
