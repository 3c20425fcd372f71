#include "db/postgres/tsql_rewrite.h"

#include <algorithm>
#include <map>
#include <regex>

#include "db/text.h"
#include "veriprog/date_time.h"
#include "veriprog/error.h"

namespace veriprog::db::tsql {
namespace {

using Tokens = std::vector<Token>;

[[noreturn]] void Unsupported(const std::string& what) {
  throw DbError("T-SQL construct not supported on PostgreSQL: " + what);
}

Token Text(std::string text) {
  return Token{TokenKind::kSymbol, std::move(text)};
}
Token Word(std::string text) {
  return Token{TokenKind::kWord, std::move(text)};
}

std::size_t NextSig(const Tokens& t, std::size_t i) {
  while (i < t.size() && !t[i].significant())
    ++i;
  return i;
}

bool IsKeyword(const Token& t) {
  static constexpr std::string_view kWords[] = {
      "SELECT", "FROM",  "WHERE", "GROUP", "ORDER", "HAVING", "UNION",  "EXCEPT", "INTERSECT",
      "INNER",  "LEFT",  "RIGHT", "FULL",  "CROSS", "OUTER",  "JOIN",   "ON",     "AND",
      "OR",     "LIMIT", "WITH",  "SET",   "INTO",  "VALUES", "OFFSET", "FOR",    "AS"};
  return std::any_of(std::begin(kWords), std::end(kWords),
                     [&](std::string_view w) { return t.IsWord(w); });
}

// Index of the ')' matching the '(' at open.
std::size_t MatchingParen(const Tokens& t, std::size_t open) {
  int depth = 0;
  for (std::size_t i = open; i < t.size(); ++i) {
    if (t[i].IsSymbol("(")) ++depth;
    if (t[i].IsSymbol(")") && --depth == 0) return i;
  }
  throw DbError("T-SQL: '(' left open");
}

// The last token of a possibly qualified name (schema.table) starting at `first`.
std::size_t QualifiedNameEnd(const Tokens& t, std::size_t first) {
  std::size_t end = first;
  while (true) {
    const std::size_t dot = NextSig(t, end + 1);
    if (dot >= t.size() || !t[dot].IsSymbol(".")) return end;
    end = NextSig(t, dot + 1);
  }
}

std::string Quote(std::string_view text) {
  return Quoted(text);
}

void RejectUnsupported(const Tokens& t) {
  static constexpr std::string_view kFunctions[] = {
      "CONVERT",        "TRY_CONVERT",   "DATEADD",   "DATEDIFF",   "DATEPART", "DATENAME",
      "CHARINDEX",      "PATINDEX",      "ISNUMERIC", "IIF",        "STUFF",    "REPLICATE",
      "SCOPE_IDENTITY", "IDENT_CURRENT", "OPENQUERY", "OPENROWSET", "FORMAT"};
  static constexpr std::string_view kWords[] = {"PIVOT", "UNPIVOT", "OUTPUT", "CURSOR", "FETCH"};
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (t[i].kind == TokenKind::kVariable &&
        (t[i].IsWord("@@IDENTITY") || EqualsIgnoreCase(t[i].text, "@@IDENTITY") ||
         EqualsIgnoreCase(t[i].text, "@@ERROR") || EqualsIgnoreCase(t[i].text, "@@TRANCOUNT"))) {
      Unsupported(ToUpperAscii(t[i].text));
    }
    if (t[i].kind != TokenKind::kWord) continue;
    const std::size_t next = NextSig(t, i + 1);
    const bool call = next < t.size() && t[next].IsSymbol("(");
    for (auto f : kFunctions) {
      if (call && t[i].IsWord(f)) Unsupported(std::string(f) + "()");
    }
    for (auto w : kWords) {
      if (t[i].IsWord(w)) Unsupported(std::string(w));
    }
    if (t[i].IsWord("TOP")) {
      for (std::size_t j = NextSig(t, i + 1); j < t.size() && j < i + 8; j = NextSig(t, j + 1)) {
        if (t[j].IsWord("PERCENT") || t[j].IsWord("TIES")) Unsupported("TOP ... " + t[j].Upper());
      }
    }
  }
}

// The digits of a whole number that a variable's literal holds, CAST('n' AS <whole-number type>).
std::optional<std::string> WholeNumberLiteral(const std::string& literal) {
  static const std::regex kWhole(
      R"(^CAST\('(-?[0-9]+)' AS\s+(NUMERIC|DECIMAL)\s*\(\s*[0-9]+\s*,\s*0\s*\)\s*\)$|^CAST\('(-?[0-9]+)' AS\s+(SMALLINT|INTEGER|INT|BIGINT)\s*\)$)",
      std::regex::icase);
  std::smatch m;
  if (!std::regex_match(literal, m, kWhole)) return std::nullopt;
  return m[1].matched ? m[1].str() : m[3].str();
}

// The variable at i is a whole operand of a comparison: `col = @v`, `@v < x`, `BETWEEN @a AND @b`,
// with no arithmetic on either side. There its value compares the same whatever its type.
bool ComparedAlone(const Tokens& t, std::size_t i) {
  const Token* prev = nullptr;
  for (std::size_t k = i; k-- > 0;) {
    if (t[k].significant()) {
      prev = &t[k];
      break;
    }
  }
  const std::size_t n = NextSig(t, i + 1);
  const Token* next = n < t.size() ? &t[n] : nullptr;
  auto symbol_in = [](const Token* tok, std::initializer_list<std::string_view> symbols) {
    return tok != nullptr && tok->kind == TokenKind::kSymbol &&
           std::find(symbols.begin(), symbols.end(), tok->text) != symbols.end();
  };
  auto comparison = [&](const Token* tok) {
    return symbol_in(tok, {"=", "<>", "!=", "<", ">", "<=", ">=", "!<", "!>"}) ||
           (tok != nullptr && (tok->IsWord("BETWEEN") || tok->IsWord("AND")));
  };
  auto arithmetic = [&](const Token* tok) { return symbol_in(tok, {"+", "-", "*", "/", "%"}); };
  if (arithmetic(prev) || arithmetic(next)) return false;
  return comparison(prev) || comparison(next);
}

// Comments out, variables in, names and literals in PostgreSQL spelling. A variable holding a
// whole number goes in bare where it is compared as it stands: typed as NUMERIC it would make
// PostgreSQL cast an integer column to compare it, and the column's index would go unused.
Tokens Normalize(Tokens t, const VariableLookup& variables) {
  for (std::size_t i = 0; i < t.size(); ++i) {
    Token& tok = t[i];
    switch (tok.kind) {
      case TokenKind::kComment:
        tok = Token{TokenKind::kSpace, " "};
        break;
      case TokenKind::kVariable: {
        const std::string name = ToUpperAscii(tok.text);
        auto value = variables ? variables(name) : std::nullopt;
        if (!value) throw DbError("T-SQL: variable " + tok.text + " is not declared");
        const auto whole = ComparedAlone(t, i) ? WholeNumberLiteral(*value) : std::nullopt;
        tok = Text("(" + whole.value_or(*value) + ")");
        break;
      }
      case TokenKind::kTempName:
        tok.text = TempTableName(tok.text);
        break;
      case TokenKind::kQuotedName: {
        std::string name = tok.Unquoted();
        std::transform(name.begin(), name.end(), name.begin(),
                       [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
        std::string quoted = "\"";
        for (char c : name) {
          quoted.push_back(c);
          if (c == '"') quoted.push_back('"');
        }
        tok = Word(quoted + "\"");
        break;
      }
      case TokenKind::kString:
        // N'...' would be blank-padded character data on PostgreSQL: plain text keeps blanks.
        if (tok.national()) tok.text.erase(0, 1);
        break;
      default:
        break;
    }
  }
  return t;
}

// WITH (NOLOCK), WITH(NOLOCK, READUNCOMMITTED), (NOLOCK): PostgreSQL readers never block.
Tokens DropTableHints(const Tokens& t) {
  static constexpr std::string_view kHints[] = {"NOLOCK",  "READUNCOMMITTED", "ROWLOCK",
                                                "UPDLOCK", "HOLDLOCK",        "READPAST",
                                                "PAGLOCK", "TABLOCK",         "NOWAIT"};
  auto is_hint = [](const Token& tok) {
    return std::any_of(std::begin(kHints), std::end(kHints),
                       [&](std::string_view h) { return tok.IsWord(h); });
  };
  Tokens out;
  for (std::size_t i = 0; i < t.size(); ++i) {
    std::size_t open = i;
    if (t[i].IsWord("WITH")) open = NextSig(t, i + 1);
    if (open < t.size() && t[open].IsSymbol("(")) {
      std::size_t j = NextSig(t, open + 1);
      bool all_hints = j < t.size() && is_hint(t[j]);
      while (all_hints && j < t.size()) {
        j = NextSig(t, j + 1);
        if (j < t.size() && t[j].IsSymbol(")")) break;
        if (j < t.size() && t[j].IsSymbol(",")) j = NextSig(t, j + 1);
        all_hints = j < t.size() && is_hint(t[j]);
      }
      if (all_hints && j < t.size()) {
        out.push_back(Token{TokenKind::kSpace, " "});
        i = j;
        continue;
      }
    }
    out.push_back(t[i]);
  }
  return out;
}

// The relation an OBJECT_ID names: for 'tempdb..#T' the temp table of this session, otherwise the
// table itself, without the dbo. schema, in lower case.
std::string ObjectIdTarget(std::string name) {
  if (name.size() > 8 && EqualsIgnoreCase(name.substr(0, 8), "tempdb.."))
    return TempTableName(name.substr(8));
  if (name.size() > 4 && EqualsIgnoreCase(name.substr(0, 4), "dbo.")) name = name.substr(4);
  for (char& c : name)
    c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  return name;
}

Tokens MapTypesAndFunctions(const Tokens& t) {
  static const std::map<std::string, std::string> kTypes = {
      {"NVARCHAR", "VARCHAR"},    {"NCHAR", "CHAR"},
      {"DATETIME", "TIMESTAMP"},  {"SMALLDATETIME", "TIMESTAMP"},
      {"DATETIME2", "TIMESTAMP"}, {"BIT", "SMALLINT"},
      {"TINYINT", "SMALLINT"},    {"UNIQUEIDENTIFIER", "UUID"},
      {"MONEY", "NUMERIC(19,4)"}, {"NTEXT", "TEXT"}};
  Tokens out;
  for (std::size_t i = 0; i < t.size(); ++i) {
    const Token& tok = t[i];
    const bool qualified = !out.empty() && out.back().IsSymbol(".");
    if (tok.kind == TokenKind::kWord && !qualified) {
      const std::string upper = tok.Upper();
      if (upper == "COLLATE") {  // COLLATE DATABASE_DEFAULT: the database's own rules apply
        i = NextSig(t, i + 1);
        continue;
      }
      if (auto it = kTypes.find(upper); it != kTypes.end()) {
        out.push_back(Word(it->second));
        continue;
      }
      const std::size_t next = NextSig(t, i + 1);
      const bool call = next < t.size() && t[next].IsSymbol("(");
      if (upper == "VARCHAR" && call) {
        const std::size_t arg = NextSig(t, next + 1);
        if (arg < t.size() && t[arg].IsWord("MAX")) {
          out.push_back(Word("TEXT"));
          i = MatchingParen(t, next);
          continue;
        }
      }
      if (upper == "ISNULL" && call) {
        out.push_back(Word("COALESCE"));
        continue;
      }
      if (upper == "OBJECT_ID" && call) {
        // OBJECT_ID(N'tempdb..#T', N'U'): the temp table of this session, never a permanent one.
        const std::size_t close = MatchingParen(t, next);
        const std::size_t arg = NextSig(t, next + 1);
        if (arg >= close || t[arg].kind != TokenKind::kString)
          Unsupported("OBJECT_ID of an expression");
        out.push_back(Text("to_regclass(" + Quote(ObjectIdTarget(t[arg].Unquoted())) + ")"));
        i = close;
        continue;
      }
    }
    // A date written 'YYYYMMDD' as a column of a derived table: PostgreSQL would make it text.
    if (tok.kind == TokenKind::kString && !tok.national()) {
      const std::string value = tok.Unquoted();
      const std::size_t next = NextSig(t, i + 1);
      if (value.size() == 8 && DateTime::Parse(value) && next < t.size() && t[next].IsWord("AS")) {
        out.push_back(Text("DATE " + tok.text));
        continue;
      }
    }
    out.push_back(tok);
  }
  return out;
}

// OUTER APPLY f(...) [alias] -> LEFT JOIN LATERAL f(...) [alias] ON TRUE; CROSS APPLY likewise.
Tokens RewriteApply(const Tokens& t) {
  Tokens out;
  for (std::size_t i = 0; i < t.size(); ++i) {
    const std::size_t next = NextSig(t, i + 1);
    const bool outer = t[i].IsWord("OUTER") && next < t.size() && t[next].IsWord("APPLY");
    const bool cross = t[i].IsWord("CROSS") && next < t.size() && t[next].IsWord("APPLY");
    if (!outer && !cross) {
      out.push_back(t[i]);
      continue;
    }
    out.push_back(Word(outer ? "LEFT JOIN LATERAL" : "CROSS JOIN LATERAL"));
    std::size_t j = NextSig(t, next + 1);
    while (j < t.size() && !t[j].IsSymbol("("))
      ++j;  // function name, maybe schema-qualified
    if (j >= t.size()) Unsupported("APPLY without a function call");
    std::size_t end = MatchingParen(t, j);
    std::size_t k = NextSig(t, end + 1);
    if (k < t.size() && t[k].IsWord("AS")) {
      end = NextSig(t, k + 1);
    } else if (k < t.size() && t[k].kind == TokenKind::kWord && !IsKeyword(t[k])) {
      end = k;
    }
    for (std::size_t m = next + 1; m <= end && m < t.size(); ++m)
      out.push_back(t[m]);
    if (outer) out.push_back(Text(" ON TRUE"));
    i = end;
  }
  return out;
}

// T-SQL sorts NULL first in ascending order and last in descending order.
Tokens OrderNullsLikeTsql(const Tokens& t) {
  std::map<std::size_t, std::string> after;  // index -> text to append after it
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (!t[i].IsWord("ORDER")) continue;
    std::size_t j = NextSig(t, i + 1);
    if (j >= t.size() || !t[j].IsWord("BY")) continue;
    int depth = 0;
    std::size_t last = j;
    bool has_nulls = false;
    auto close_item = [&] {
      if (last != j && !has_nulls)
        after[last] = t[last].IsWord("DESC") ? " NULLS LAST" : " NULLS FIRST";
      has_nulls = false;
    };
    for (std::size_t k = NextSig(t, j + 1); k < t.size(); k = NextSig(t, k + 1)) {
      const Token& tok = t[k];
      if (tok.IsSymbol("(")) ++depth;
      if (tok.IsSymbol(")") && --depth < 0) break;
      if (depth == 0) {
        if (tok.IsSymbol(",")) {
          close_item();
          last = j;
          continue;
        }
        if (tok.IsWord("LIMIT") || tok.IsWord("OFFSET") || tok.IsWord("FOR") ||
            tok.IsWord("UNION") || tok.IsWord("EXCEPT") || tok.IsWord("INTERSECT")) {
          break;
        }
      }
      if (tok.IsWord("NULLS")) has_nulls = true;
      last = k;
    }
    close_item();
  }
  Tokens out;
  for (std::size_t i = 0; i < t.size(); ++i) {
    out.push_back(t[i]);
    if (auto it = after.find(i); it != after.end()) out.push_back(Text(it->second));
  }
  return out;
}

// SELECT [DISTINCT] TOP n ... -> SELECT [DISTINCT] ... LIMIT n, at the end of that query block,
// also inside EXISTS (...) and scalar sub-queries.
Tokens RewriteTop(Tokens t) {
  while (true) {
    std::size_t top = t.size();
    for (std::size_t i = 0; i < t.size(); ++i) {
      if (t[i].IsWord("TOP")) {
        top = i;
        break;
      }
    }
    if (top == t.size()) return t;
    std::size_t n = NextSig(t, top + 1);
    std::string count;
    std::size_t last = n;
    if (n < t.size() && t[n].kind == TokenKind::kNumber) {
      count = t[n].text;
    } else if (n < t.size() && t[n].IsSymbol("(")) {
      last = MatchingParen(t, n);
      for (std::size_t k = n; k <= last; ++k)
        count += t[k].text;
    } else {
      Unsupported("TOP without a row count");
    }
    int depth = 0;
    std::size_t end = last + 1;
    for (; end < t.size(); ++end) {
      if (t[end].IsSymbol("(")) ++depth;
      if (t[end].IsSymbol(")") && --depth < 0) break;
      if (depth == 0 &&
          (t[end].IsWord("UNION") || t[end].IsWord("EXCEPT") || t[end].IsWord("INTERSECT"))) {
        break;
      }
    }
    Tokens out(t.begin(), t.begin() + static_cast<long>(top));
    out.insert(out.end(), t.begin() + static_cast<long>(last) + 1,
               t.begin() + static_cast<long>(end));
    out.push_back(Text(" LIMIT " + count + " "));
    out.insert(out.end(), t.begin() + static_cast<long>(end), t.end());
    t = std::move(out);
  }
}

// The columns of a top-level ORDER BY made of plain names only; empty otherwise.
std::vector<std::string> TopLevelOrderColumns(const Tokens& t) {
  int depth = 0;
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (t[i].IsSymbol("(")) ++depth;
    if (t[i].IsSymbol(")")) --depth;
    if (depth != 0 || !t[i].IsWord("ORDER")) continue;
    std::size_t k = NextSig(t, i + 1);
    if (k >= t.size() || !t[k].IsWord("BY")) return {};
    std::vector<std::string> columns;
    for (k = NextSig(t, k + 1); k < t.size(); k = NextSig(t, k + 1)) {
      if (t[k].kind != TokenKind::kWord || IsKeyword(t[k])) return {};
      columns.push_back(t[k].text);
      k = NextSig(t, k + 1);
      while (k < t.size() && (t[k].IsWord("ASC") || t[k].IsWord("DESC")))
        k = NextSig(t, k + 1);
      if (k >= t.size()) return columns;
      if (!t[k].IsSymbol(",")) return {};
    }
    return {};
  }
  return {};
}

// SELECT ... INTO target FROM ... -> CREATE TABLE target AS SELECT ... FROM ...
Tokens RewriteSelectInto(const Tokens& t, Translation& translation) {
  const std::size_t first = NextSig(t, 0);
  if (first >= t.size() || !t[first].IsWord("SELECT")) return t;
  int depth = 0;
  for (std::size_t i = first; i < t.size(); ++i) {
    if (t[i].IsSymbol("(")) ++depth;
    if (t[i].IsSymbol(")")) --depth;
    if (depth != 0) continue;
    if (t[i].IsWord("FROM") || t[i].IsWord("UNION")) return t;
    if (!t[i].IsWord("INTO")) continue;
    const std::size_t target = NextSig(t, i + 1);
    if (target >= t.size()) Unsupported("SELECT INTO without a table");
    const std::size_t target_end = QualifiedNameEnd(t, target);
    std::string name;
    for (std::size_t k = target; k <= target_end; ++k)
      name += t[k].text;
    if (t[target].kind == TokenKind::kTempName) {
      translation.filled_temp_tables.push_back(name);
      translation.index_columns = TopLevelOrderColumns(t);
    }
    Tokens out{Text("CREATE TABLE " + name + " AS ")};
    out.insert(out.end(), t.begin() + static_cast<long>(first), t.begin() + static_cast<long>(i));
    out.insert(out.end(), t.begin() + static_cast<long>(target_end) + 1, t.end());
    return out;
  }
  return t;
}

// DELETE [FROM] T FROM T JOIN ... WHERE ... -> DELETE FROM T WHERE ctid IN (SELECT T.ctid FROM
// T JOIN ... WHERE ...): a USING list naming T again would join T with itself.
Tokens RewriteJoinedDelete(const Tokens& t) {
  std::size_t i = NextSig(t, 0);
  if (i >= t.size() || !t[i].IsWord("DELETE")) return t;
  i = NextSig(t, i + 1);
  if (i < t.size() && t[i].IsWord("FROM")) i = NextSig(t, i + 1);
  if (i >= t.size()) return t;
  const std::size_t target = i;
  const std::size_t target_end = QualifiedNameEnd(t, i);
  const std::size_t from = NextSig(t, target_end + 1);
  if (from >= t.size() || !t[from].IsWord("FROM")) return t;
  std::string name;
  for (std::size_t k = target; k <= target_end; ++k)
    name += t[k].text;

  // The row reference: the alias the FROM list gives the target, or the target itself.
  std::string ref = name;
  std::size_t k = NextSig(t, from + 1);
  std::string listed;
  std::size_t listed_end = k;
  for (; listed_end < t.size(); ++listed_end) {
    if (!t[listed_end].significant()) break;
    listed += t[listed_end].text;
  }
  if (EqualsIgnoreCase(listed, name)) {
    std::size_t a = NextSig(t, listed_end);
    if (a < t.size() && t[a].IsWord("AS")) a = NextSig(t, a + 1);
    if (a < t.size() && t[a].kind == TokenKind::kWord && !IsKeyword(t[a])) ref = t[a].text;
  }
  Tokens out{Text("DELETE FROM " + name + " WHERE ctid IN (SELECT " + ref + ".ctid FROM")};
  out.insert(out.end(), t.begin() + static_cast<long>(from) + 1, t.end());
  out.push_back(Text(")"));
  return out;
}

void NoteFilledTempTable(const Tokens& t, Translation& translation) {
  const std::size_t first = NextSig(t, 0);
  if (first >= t.size() || !t[first].IsWord("INSERT")) return;
  std::size_t target = NextSig(t, first + 1);
  if (target < t.size() && t[target].IsWord("INTO")) target = NextSig(t, target + 1);
  if (target < t.size() && t[target].kind == TokenKind::kTempName) {
    translation.filled_temp_tables.push_back(t[target].text);
  }
}

}  // namespace

std::string ColumnList(const std::vector<std::string>& columns) {
  std::string out;
  for (const auto& c : columns)
    out += (out.empty() ? "" : ", ") + c;
  return out;
}

std::string TempTableName(std::string_view tsql_name) {
  std::string upper = ToUpperAscii(tsql_name);
  std::string out = "pg_temp.\"";
  for (char c : upper) {
    out.push_back(c);
    if (c == '"') out.push_back('"');
  }
  return out + "\"";
}

Translation TranslateStatement(Tokens tokens, const VariableLookup& variables) {
  RejectUnsupported(tokens);
  Translation translation;
  Tokens t = Normalize(std::move(tokens), variables);
  t = DropTableHints(t);
  t = MapTypesAndFunctions(t);
  t = RewriteApply(t);
  t = RewriteSelectInto(t, translation);
  t = OrderNullsLikeTsql(t);
  t = RewriteTop(std::move(t));
  NoteFilledTempTable(t, translation);
  t = RewriteJoinedDelete(t);
  translation.sql = Join(t);
  return translation;
}

std::string TranslateExpression(Tokens tokens, const VariableLookup& variables) {
  RejectUnsupported(tokens);
  Tokens t = Normalize(std::move(tokens), variables);
  t = DropTableHints(t);
  t = MapTypesAndFunctions(t);
  t = OrderNullsLikeTsql(t);
  t = RewriteTop(std::move(t));
  return Join(t);
}

std::string TranslateType(Tokens tokens) {
  return Join(MapTypesAndFunctions(Normalize(std::move(tokens), nullptr)));
}

}  // namespace veriprog::db::tsql
