// The T-SQL lexer and splitter on hostile and random text; the rewriter's refusals.
#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "db/postgres/tsql_lexer.h"
#include "db/postgres/tsql_rewrite.h"
#include "db/postgres/tsql_runner.h"
#include "db/postgres/tsql_script.h"
#include "veriprog/error.h"
#include "veriprog/row_table.h"

namespace veriprog::db::tsql {
namespace {

// The translation with runs of blanks folded to one.
std::string Translate(const std::string& sql) {
  const std::string raw =
      TranslateStatement(Lex(sql), [](const std::string&) { return std::nullopt; }).sql;
  std::string out;
  for (char c : raw) {
    if (c == ' ' && !out.empty() && out.back() == ' ') continue;
    out.push_back(c);
  }
  return out;
}

TEST(TsqlLexer, KeepsLiteralsAndCommentsWhole) {
  const std::string sql =
      "SELECT N'it''s -- not a comment', [odd ]] name], \"q\"\"n\" /* a /* nested */ c */ "
      "FROM #T -- trailing ' quote\r\nWHERE @@ROWCOUNT <> 1.5e3";
  const auto tokens = Lex(sql);
  EXPECT_EQ(Join(tokens), sql);
  std::vector<std::string> kinds;
  for (const auto& t : tokens) {
    if (t.significant()) kinds.push_back(t.text);
  }
  EXPECT_EQ(kinds[1], "N'it''s -- not a comment'");
  EXPECT_EQ(kinds[3], "[odd ]] name]");
  EXPECT_EQ(kinds[5], "\"q\"\"n\"");
  EXPECT_EQ(tokens[1].kind, TokenKind::kSpace);
  EXPECT_EQ(Lex("N'a''b'")[0].Unquoted(), "a'b");
  EXPECT_EQ(Lex("[a]]b]")[0].Unquoted(), "a]b");
  for (const char* bad : {"SELECT 'open", "SELECT [open", "/* open /* */", "SELECT \"open"}) {
    EXPECT_THROW(Lex(bad), DbError) << bad;
  }
}

// Random mixtures of the lexer's hard parts: it never crashes, gives the input back exactly,
// and every string literal it was given comes out as one token.
TEST(TsqlLexer, RandomTextRoundTripsAndNeverSplitsALiteral) {
  std::mt19937 rng(7);
  const std::vector<std::string> pieces = {
      "SELECT", " ",          "\r\n", "'", "''", "N'", "[",    "]", "\"", "--", "/*", "*/", "#T",
      "@v",     "@@ROWCOUNT", "(",    ")", ",",  ";",  "12.5", "é", "\t", "-",  "/",  "*",  "x"};
  for (int round = 0; round < 3000; ++round) {
    std::string sql;
    const int n = 1 + static_cast<int>(rng() % 30);
    for (int i = 0; i < n; ++i)
      sql += pieces[rng() % pieces.size()];
    try {
      EXPECT_EQ(Join(Lex(sql)), sql);
    } catch (const DbError&) {
      // unterminated literal or comment: refused, which is fine
    }
    const std::string literal = "'" + sql.substr(0, sql.find('\'')) + "'";
    const std::string wrapped =
        "SELECT " + literal + " AS X -- " + sql.substr(0, sql.find_first_of("\r\n"));
    const auto tokens = Lex(wrapped);
    ASSERT_GE(tokens.size(), 3u);
    EXPECT_EQ(tokens[2].text, literal);
    EXPECT_EQ(tokens.back().kind, TokenKind::kComment) << "the comment runs to the line's end";
    EXPECT_EQ(tokens.back().text.substr(0, 3), "-- ");
  }
}

TEST(TsqlScript, SplitsStatementsAndControlFlow) {
  const auto nodes = ParseScript(
      Lex(" DECLARE @A DECIMAL(5,0), @B DATETIME\r\n SET @A = (SELECT MAX(X) FROM T)\r\n"
          " IF @A = 1 BEGIN UPDATE T SET X = CASE WHEN X = 1 THEN 2 ELSE 3 END WHERE X = @A END\r\n"
          " ELSE SELECT 1 AS Y UNION SELECT 2\r\n"
          " INSERT INTO T (X) SELECT 1 SELECT 2 ; ;WITH C AS (SELECT 1 AS X) INSERT INTO T SELECT "
          "X FROM C"));
  ASSERT_EQ(nodes.size(), 6u);
  EXPECT_EQ(nodes[0].kind, Node::Kind::kDeclare);
  EXPECT_EQ(nodes[0].declarations.size(), 2u);
  EXPECT_EQ(nodes[1].kind, Node::Kind::kSet);
  EXPECT_EQ(nodes[2].kind, Node::Kind::kIf);
  ASSERT_EQ(nodes[2].children.size(), 2u);
  EXPECT_EQ(nodes[2].children[0].kind, Node::Kind::kBlock);
  EXPECT_EQ(nodes[2].children[0].children.size(), 1u) << "CASE ... END stays inside the UPDATE";
  EXPECT_EQ(nodes[3].kind, Node::Kind::kStatement) << "INSERT ... SELECT is one statement";
  EXPECT_EQ(Join(nodes[4].tokens), "SELECT 2");
  EXPECT_EQ(nodes[5].tokens.front().Upper(), "WITH");

  for (const char* bad : {"BEGIN SELECT 1", "END", "IF 1 = 1", "SELECT (1", "BEGIN TRAN",
                          "EXEC sp_who", "SELECT 1 GO SELECT 2", "DECLARE @X INT = 5"}) {
    EXPECT_THROW(ParseScript(Lex(bad)), DbError) << bad;
  }
}

TEST(TsqlRewrite, RefusesWhatItCannotTranslate) {
  for (const char* bad : {"SELECT CONVERT(VARCHAR, X) FROM T", "SELECT TOP 10 PERCENT X FROM T",
                          "SELECT DATEADD(day, 1, X) FROM T", "SELECT * FROM T PIVOT (SUM(X))",
                          "SELECT @@IDENTITY", "SELECT TOP @N X FROM T"}) {
    try {
      Translate(bad);
      ADD_FAILURE() << "translated: " << bad;
    } catch (const DbError& e) {
      EXPECT_NE(std::string(e.what()).find("not"), std::string::npos) << e.what();
    }
  }
  EXPECT_THROW(TranslateStatement(Lex("SELECT @X"), nullptr), DbError);
}

TEST(TsqlRewrite, TempNamesNeverReachPermanentTables) {
  EXPECT_EQ(TempTableName("#cg42Mov"), "pg_temp.\"#CG42MOV\"");
  const std::string sql = Translate("SELECT * INTO #X FROM #Y WITH (NOLOCK) ORDER BY A DESC, B");
  EXPECT_EQ(sql.find("#Y\" WITH"), std::string::npos);
  EXPECT_NE(sql.find("CREATE TABLE pg_temp.\"#X\" AS SELECT * FROM pg_temp.\"#Y\""),
            std::string::npos);
  EXPECT_NE(sql.find("A DESC NULLS LAST, B NULLS FIRST"), std::string::npos);
}

// A whole number held by a variable goes in bare where it is compared as it stands, so that an
// integer column keeps its index; elsewhere (arithmetic, a column of its own) it keeps its type.
TEST(TsqlRewrite, WholeNumberVariablesCompareBare) {
  const VariableLookup lookup = [](const std::string& name) -> std::optional<std::string> {
    if (name == "@DITTA") return "CAST('1' AS  DECIMAL(5,0))";
    if (name == "@MESE") return "CAST('-3' AS INTEGER)";
    if (name == "@DATA") return "CAST('2024-01-01 00:00:00' AS TIMESTAMP)";
    if (name == "@NULLA") return "CAST(NULL AS DECIMAL(2,0))";
    return std::nullopt;
  };
  auto translate = [&](const std::string& sql) { return TranslateStatement(Lex(sql), lookup).sql; };
  EXPECT_EQ(translate("SELECT 1 FROM T WHERE A = @Ditta AND @Ditta <> B"),
            "SELECT 1 FROM T WHERE A = (1) AND (1) <> B");
  EXPECT_EQ(translate("SELECT 1 FROM T WHERE M BETWEEN @Mese AND @Ditta"),
            "SELECT 1 FROM T WHERE M BETWEEN (-3) AND (1)");
  EXPECT_EQ(translate("SELECT @Ditta AS D, @Ditta / 2 AS H FROM T WHERE A = @Ditta + 1"),
            "SELECT (CAST('1' AS  DECIMAL(5,0))) AS D, (CAST('1' AS  DECIMAL(5,0))) / 2 AS H FROM "
            "T WHERE A = (CAST('1' AS  DECIMAL(5,0))) + 1");
  EXPECT_EQ(translate("SELECT 1 FROM T WHERE D = @Data AND M = @Nulla"),
            "SELECT 1 FROM T WHERE D = (CAST('2024-01-01 00:00:00' AS TIMESTAMP)) AND M = "
            "(CAST(NULL AS DECIMAL(2,0)))");
}

// A carrier that writes down what it is sent (the first two words of each statement) and
// answers every statement with `rows` rows touched; a statement containing `failing` fails. An
// update-or-insert answers with its two counts.
class Recorder final : public pg::StatementChannel {
 public:
  class Outcome final : public pg::StatementOutcome {
   public:
    Outcome(std::int64_t rows, bool counts) : rows_(rows), counts_(counts) {}
    bool has_rows() const override { return counts_; }
    std::int64_t count() const override { return counts_ ? 1 : rows_; }
    std::optional<std::string> FirstValue() const override { return "1"; }
    QueryResult ToQueryResult() override {
      auto table = std::make_shared<RowTable>();
      table->AppendField(FieldDef::Integer("UPDATED", 8));
      table->AppendField(FieldDef::Integer("INSERTED", 8));
      table->AppendLoadedRow({Variant(rows_), Variant(std::int64_t{rows_ == 0 ? 1 : 0})});
      return QueryResult{table, nullptr};
    }

   private:
    std::int64_t rows_;
    bool counts_;
  };
  std::unique_ptr<pg::StatementOutcome> Send(const std::string& sql) override {
    sent += sql.substr(0, sql.find(' ', sql.find(' ') + 1)) + "\n";
    if (!failing.empty() && sql.find(failing) != std::string::npos) throw DbError("rifiutata");
    return std::make_unique<Outcome>(rows, sql.rfind("WITH veriprog_updated", 0) == 0);
  }
  std::string sent, failing;
  std::int64_t rows = 0;
};

// The monthly writers' batch is one statement; inside a transaction it still runs under its
// savepoint, and a failing one is taken back. @@ROWCOUNT reads as after the two statements.
TEST(TsqlRunner, UpdateOrInsertIsOneStatement) {
  const std::string batch =
      "UPDATE CGL4_PROGIVAPLAF SET CGL4_PLAFEXPORT = 1 WHERE CGL4_MESE = 3\r\n"
      " IF @@ROWCOUNT = 0\r\n INSERT INTO CGL4_PROGIVAPLAF (CGL4_MESE) VALUES (3)";
  Recorder channel;
  pg::TsqlRunner runner(channel);
  std::int64_t rows = -1;
  runner.Execute(batch, &rows);
  EXPECT_EQ(channel.sent, "WITH veriprog_updated\n");
  EXPECT_EQ(rows, 1) << "no row updated: one inserted";
  channel.rows = 2;
  runner.Execute(batch, &rows);
  EXPECT_EQ(rows, 2) << "rows updated: none inserted";

  channel.sent.clear();
  runner.set_in_transaction(true);
  runner.Execute(batch, nullptr);
  EXPECT_EQ(channel.sent,
            "SAVEPOINT veriprog_statement\nWITH veriprog_updated\nRELEASE SAVEPOINT\n");
  channel.sent.clear();
  channel.failing = "INSERT";
  EXPECT_THROW(runner.Execute(batch, nullptr), DbError);
  EXPECT_EQ(channel.sent,
            "SAVEPOINT veriprog_statement\nWITH veriprog_updated\nROLLBACK TO\nRELEASE "
            "SAVEPOINT\n");
  runner.set_in_transaction(false);
  channel.failing.clear();

  // Other shapes run statement by statement: an ELSE, several rows, a condition of another kind.
  auto sent = [&](const std::string& text) {
    channel.sent.clear();
    runner.Execute(text, nullptr);
    return channel.sent;
  };
  channel.rows = 0;
  EXPECT_EQ(sent("UPDATE T SET A = 1 IF @@ROWCOUNT = 0 INSERT INTO T (A) VALUES (1) ELSE "
                 "DELETE FROM T"),
            "UPDATE T\nINSERT INTO\n");
  EXPECT_EQ(sent("UPDATE T SET A = 1 IF @@ROWCOUNT = 0 INSERT INTO T (A) VALUES (1), (2)"),
            "UPDATE T\nINSERT INTO\n");
  EXPECT_EQ(sent("UPDATE T SET A = 1 IF @@ROWCOUNT > 0 INSERT INTO T (A) VALUES (1)"),
            "UPDATE T\n");
}

// A condition on whole numbers (a row count, a whole-number variable) is decided here without a
// round trip; anything else goes to the server.
TEST(TsqlRunner, WholeNumberConditionsAreDecidedOnTheClient) {
  Recorder channel;
  pg::TsqlRunner runner(channel);
  auto asked = [&](const std::string& condition) {
    channel.sent.clear();
    runner.Execute(" IF " + condition + " SELECT 7 AS N", nullptr);
    return channel.sent;
  };
  EXPECT_EQ(asked("(1) = 1"), "SELECT 7\n");
  EXPECT_EQ(asked("-2 <> ( -2 )"), "") << "false, and decided here";
  EXPECT_EQ(asked("3 >= 4"), "");
  EXPECT_EQ(asked("1 = 1.0"), "SELECT CASE\nSELECT 7\n");
  EXPECT_EQ(asked("YEAR(GETDATE()) > 2000"), "SELECT CASE\nSELECT 7\n");
  channel.sent.clear();
  runner.Execute("DELETE FROM T IF @@ROWCOUNT = 0 DELETE FROM U", nullptr);
  EXPECT_EQ(channel.sent, "DELETE FROM\nDELETE FROM\n");
}

}  // namespace
}  // namespace veriprog::db::tsql
