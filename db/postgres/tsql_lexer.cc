#include "db/postgres/tsql_lexer.h"

#include "db/text.h"
#include "veriprog/error.h"

namespace veriprog::db::tsql {
namespace {

bool IsLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsNamePart(char c) {
  return IsLetter(c) || IsDigit(c) || c == '$' || c == '#' || c == '@';
}
bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

class Lexer {
 public:
  explicit Lexer(std::string_view sql) : sql_(sql) {}

  std::vector<Token> Run() {
    std::vector<Token> tokens;
    while (pos_ < sql_.size())
      tokens.push_back(Next());
    return tokens;
  }

 private:
  Token Next() {
    const std::size_t start = pos_;
    const char c = sql_[pos_];
    const char d = pos_ + 1 < sql_.size() ? sql_[pos_ + 1] : '\0';
    if (IsSpace(c)) {
      while (pos_ < sql_.size() && IsSpace(sql_[pos_]))
        ++pos_;
      return Make(TokenKind::kSpace, start);
    }
    if (c == '-' && d == '-') {
      while (pos_ < sql_.size() && sql_[pos_] != '\n' && sql_[pos_] != '\r')
        ++pos_;
      return Make(TokenKind::kComment, start);
    }
    if (c == '/' && d == '*') return BlockComment(start);
    if (c == '\'') return Quoted(start, '\'', TokenKind::kString, "string");
    if ((c == 'N' || c == 'n') && d == '\'') {
      ++pos_;
      return Quoted(start, '\'', TokenKind::kString, "string");
    }
    if (c == '[') return Quoted(start, ']', TokenKind::kQuotedName, "[name]");
    if (c == '"') return Quoted(start, '"', TokenKind::kQuotedName, "\"name\"");
    if (c == '#' || c == '@') {
      ++pos_;
      while (pos_ < sql_.size() && IsNamePart(sql_[pos_]))
        ++pos_;
      return Make(c == '#' ? TokenKind::kTempName : TokenKind::kVariable, start);
    }
    if (IsDigit(c) || (c == '.' && IsDigit(d))) return Number(start);
    if (IsLetter(c)) {
      while (pos_ < sql_.size() && IsNamePart(sql_[pos_]))
        ++pos_;
      return Make(TokenKind::kWord, start);
    }
    static constexpr std::string_view kTwo[] = {"<>", "<=", ">=", "!=", "!<", "!>", "::"};
    for (auto two : kTwo) {
      if (sql_.substr(pos_, 2) == two) {
        pos_ += 2;
        return Make(TokenKind::kSymbol, start);
      }
    }
    ++pos_;
    return Make(TokenKind::kSymbol, start);
  }

  Token BlockComment(std::size_t start) {
    int depth = 0;
    while (pos_ < sql_.size()) {
      if (sql_.substr(pos_, 2) == "/*") {
        ++depth;
        pos_ += 2;
      } else if (sql_.substr(pos_, 2) == "*/") {
        pos_ += 2;
        if (--depth == 0) return Make(TokenKind::kComment, start);
      } else {
        ++pos_;
      }
    }
    Fail("unterminated comment", start);
  }

  Token Quoted(std::size_t start, char close, TokenKind kind, const char* what) {
    ++pos_;  // opening quote or bracket
    while (pos_ < sql_.size()) {
      if (sql_[pos_] == close) {
        if (pos_ + 1 < sql_.size() && sql_[pos_ + 1] == close) {
          pos_ += 2;  // doubled: part of the text
          continue;
        }
        ++pos_;
        return Make(kind, start);
      }
      ++pos_;
    }
    Fail(std::string("unterminated ") + what, start);
  }

  Token Number(std::size_t start) {
    while (pos_ < sql_.size() && (IsDigit(sql_[pos_]) || sql_[pos_] == '.'))
      ++pos_;
    if (pos_ < sql_.size() && (sql_[pos_] == 'e' || sql_[pos_] == 'E')) {
      std::size_t p = pos_ + 1;
      if (p < sql_.size() && (sql_[p] == '+' || sql_[p] == '-')) ++p;
      if (p < sql_.size() && IsDigit(sql_[p])) {
        pos_ = p;
        while (pos_ < sql_.size() && IsDigit(sql_[pos_]))
          ++pos_;
      }
    }
    return Make(TokenKind::kNumber, start);
  }

  Token Make(TokenKind kind, std::size_t start) const {
    return Token{kind, std::string(sql_.substr(start, pos_ - start))};
  }

  [[noreturn]] void Fail(const std::string& what, std::size_t at) const {
    throw DbError("T-SQL: " + what + " starting at offset " + std::to_string(at) + ": " +
                  std::string(sql_.substr(at, 40)));
  }

  std::string_view sql_;
  std::size_t pos_ = 0;
};

}  // namespace

bool Token::IsWord(std::string_view upper) const {
  return kind == TokenKind::kWord && EqualsIgnoreCase(text, upper);
}

std::string Token::Upper() const {
  return ToUpperAscii(text);
}

std::string Token::Unquoted() const {
  std::string_view body = text;
  char close = '\'';
  if (kind == TokenKind::kString) {
    if (national()) body.remove_prefix(1);
  } else if (kind == TokenKind::kQuotedName) {
    close = body.front() == '[' ? ']' : '"';
  } else {
    return text;
  }
  body = body.substr(1, body.size() - 2);
  std::string out;
  for (std::size_t i = 0; i < body.size(); ++i) {
    out.push_back(body[i]);
    if (body[i] == close && i + 1 < body.size() && body[i + 1] == close) ++i;
  }
  return out;
}

std::vector<Token> Lex(std::string_view sql) {
  return Lexer(sql).Run();
}

std::string Join(const std::vector<Token>& tokens) {
  std::string out;
  for (const auto& t : tokens)
    out += t.text;
  return out;
}

}  // namespace veriprog::db::tsql
