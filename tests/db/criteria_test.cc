#include "veriprog/criteria.h"

#include <gtest/gtest.h>

#include "veriprog/error.h"

namespace veriprog::db {
namespace {

TEST(Criteria, ReadsTheTermsTheComponentComposes) {
  const auto terms = ParseCriteria(
      "CONTOPAR = 'O''Hara; --' AND TIPOCF = 1 AND SEDE = -3 AND VALUTA <> 'EURO' "
      "and [IMPORTO] >= 12.50");
  ASSERT_EQ(terms.size(), 5u);
  EXPECT_EQ(terms[0].field, "CONTOPAR");
  EXPECT_EQ(terms[0].value, Variant("O'Hara; --"));
  EXPECT_EQ(terms[1].value, Variant(1));
  EXPECT_EQ(terms[2].value, Variant(-3));
  EXPECT_EQ(terms[3].op, CompareOp::kNe);
  EXPECT_EQ(terms[4].field, "IMPORTO");
  EXPECT_EQ(terms[4].op, CompareOp::kGe);
  EXPECT_EQ(terms[4].value, Variant(Decimal::Parse("12.5")));
  EXPECT_EQ(ParseCriteria("A='' AND B=' '")[1].value, Variant(" "));
  EXPECT_EQ(ParseCriteria("A<=1")[0].op, CompareOp::kLe);
  EXPECT_EQ(ParseCriteria("A>1")[0].op, CompareOp::kGt);
}

TEST(Criteria, MalformedTextIsAnErrorThatSaysWhy) {
  struct Case {
    const char* text;
    const char* says;
  };
  const Case cases[] = {
      {"", "empty criteria"},
      {"A = 1 OR B = 2", "OR is not supported"},
      {"A LIKE 'x%'", "LIKE is not supported"},
      {"A = 1 AND", "field name expected"},
      {"A = 'open", "unclosed quote"},
      {"A 1", "comparison operator expected"},
      {"A =", "value expected"},
      {"A = Null", "'Null' is not a number"},
      {"A = 12abc", "'12abc' is not a number"},
      {"A = 1 B = 2", "AND expected"},
      {"(A = 1)", "field name expected"},
      {"A = 1.2.3", "not a number"},
      {"A = - 1", "value expected"},
      {"[A = 1", "unclosed ["},
  };
  for (const auto& c : cases) {
    try {
      ParseCriteria(c.text);
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const DbError& e) {
      EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos)
          << c.text << " -> " << e.what();
    }
  }
}

}  // namespace
}  // namespace veriprog::db
