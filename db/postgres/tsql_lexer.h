// Lexer for the T-SQL the component composes: words, [bracketed] and "quoted" names, 'strings'
// and N'strings' with doubled quotes, numbers, #temp names, @variables, comments, symbols.
// Concatenating the texts of the tokens gives back the input exactly.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace veriprog::db::tsql {

enum class TokenKind {
  kWord,        // identifier or keyword: SELECT, CG42_IMPTOTALE, dbo
  kQuotedName,  // [name] or "name"
  kString,      // 'text' or N'text'
  kNumber,      // 12, 12.50, .5, 1e3
  kTempName,    // #name or ##name
  kVariable,    // @name or @@name
  kSymbol,      // ( ) , . ; = < > <= >= <> != + - * / % and the like
  kSpace,       // blanks and line breaks
  kComment,     // -- to the end of the line, or /* ... */ (nested)
};

struct Token {
  TokenKind kind;
  std::string text;  // exactly as in the input

  bool IsWord(std::string_view upper) const;  // a word equal to upper, ignoring case
  bool IsSymbol(std::string_view symbol) const {
    return kind == TokenKind::kSymbol && text == symbol;
  }
  bool significant() const { return kind != TokenKind::kSpace && kind != TokenKind::kComment; }
  std::string Upper() const;
  // For kString: the value without quotes or N, doubled quotes undone. For kQuotedName: the name.
  std::string Unquoted() const;
  bool national() const { return kind == TokenKind::kString && (text[0] == 'N' || text[0] == 'n'); }
};

// Throws DbError for an unterminated string, name or comment, naming where it starts.
std::vector<Token> Lex(std::string_view sql);

std::string Join(const std::vector<Token>& tokens);

}  // namespace veriprog::db::tsql
