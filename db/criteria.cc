#include "veriprog/criteria.h"

#include "db/text.h"
#include "veriprog/error.h"

namespace veriprog::db {
namespace {

bool IsNameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

class CriteriaParser {
 public:
  explicit CriteriaParser(std::string_view text) : text_(text) {}

  std::vector<Criterion> Parse() {
    std::vector<Criterion> terms;
    SkipBlanks();
    if (AtEnd()) Fail("empty criteria");
    while (true) {
      terms.push_back(Term());
      SkipBlanks();
      if (AtEnd()) return terms;
      const std::string word = ToUpperAscii(Word());
      if (word != "AND") {
        Fail(word == "OR" ? "OR is not supported, only terms joined by AND"
                          : "AND expected after a term");
      }
    }
  }

 private:
  Criterion Term() {
    Criterion c;
    c.field = FieldName();
    static constexpr std::string_view kUnsupported[] = {"OR", "LIKE", "NOT", "IN", "IS", "AND"};
    for (auto word : kUnsupported) {
      if (EqualsIgnoreCase(c.field, word)) Fail(std::string(word) + " is not supported");
    }
    c.op = Operator();
    c.value = Value();
    return c;
  }

  std::string FieldName() {
    SkipBlanks();
    if (!AtEnd() && text_[pos_] == '[') {
      const auto close = text_.find(']', pos_);
      if (close == std::string_view::npos) Fail("unclosed [ in field name");
      std::string name(text_.substr(pos_ + 1, close - pos_ - 1));
      pos_ = close + 1;
      if (Trim(name).empty()) Fail("empty field name");
      return name;
    }
    std::string name = Word();
    if (name.empty()) Fail("field name expected");
    return name;
  }

  CompareOp Operator() {
    SkipBlanks();
    const std::string_view rest = text_.substr(pos_);
    struct Spelling {
      std::string_view text;
      CompareOp op;
    };
    static constexpr Spelling kOps[] = {{"<>", CompareOp::kNe}, {"<=", CompareOp::kLe},
                                        {">=", CompareOp::kGe}, {"=", CompareOp::kEq},
                                        {"<", CompareOp::kLt},  {">", CompareOp::kGt}};
    for (const auto& s : kOps) {
      if (rest.starts_with(s.text)) {
        pos_ += s.text.size();
        return s.op;
      }
    }
    const std::string word = ToUpperAscii(Word());
    if (word == "LIKE" || word == "IN" || word == "IS" || word == "NOT") {
      Fail(word + " is not supported");
    }
    Fail("comparison operator expected");
  }

  Variant Value() {
    SkipBlanks();
    if (AtEnd()) Fail("value expected");
    if (text_[pos_] == '\'') return Quoted();
    const std::size_t start = pos_;
    if (text_[pos_] == '-' || text_[pos_] == '+') ++pos_;
    while (!AtEnd() && ((text_[pos_] >= '0' && text_[pos_] <= '9') || text_[pos_] == '.'))
      ++pos_;
    const std::string_view literal = text_.substr(start, pos_ - start);
    if (!AtEnd() && IsNameChar(text_[pos_])) pos_ = start;  // "12abc", "Null": not a number
    auto number = pos_ == start ? std::nullopt : Decimal::TryParse(literal);
    if (!number) {
      pos_ = start;
      std::string word = Word();
      Fail(word.empty() ? "value expected" : "'" + word + "' is not a number or a quoted text");
    }
    if (auto whole = number->ToInt64(); whole && number->scale() == 0) return *whole;
    return *number;
  }

  Variant Quoted() {
    std::string out;
    ++pos_;  // opening quote
    while (true) {
      if (AtEnd()) Fail("unclosed quote");
      const char c = text_[pos_++];
      if (c != '\'') {
        out.push_back(c);
      } else if (!AtEnd() && text_[pos_] == '\'') {
        out.push_back('\'');
        ++pos_;
      } else {
        return out;
      }
    }
  }

  std::string Word() {
    SkipBlanks();
    const std::size_t start = pos_;
    while (!AtEnd() && IsNameChar(text_[pos_]))
      ++pos_;
    return std::string(text_.substr(start, pos_ - start));
  }

  void SkipBlanks() {
    while (!AtEnd() && (text_[pos_] == ' ' || text_[pos_] == '\t' || text_[pos_] == '\r' ||
                        text_[pos_] == '\n')) {
      ++pos_;
    }
  }
  bool AtEnd() const { return pos_ >= text_.size(); }

  [[noreturn]] void Fail(const std::string& what) const {
    throw DbError("invalid criteria \"" + std::string(text_) + "\": " + what + " at position " +
                  std::to_string(pos_ + 1));
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

}  // namespace

std::vector<Criterion> ParseCriteria(std::string_view text) {
  return CriteriaParser(text).Parse();
}

bool Satisfies(CompareOp op, int comparison) {
  switch (op) {
    case CompareOp::kEq:
      return comparison == 0;
    case CompareOp::kNe:
      return comparison != 0;
    case CompareOp::kLt:
      return comparison < 0;
    case CompareOp::kGt:
      return comparison > 0;
    case CompareOp::kLe:
      return comparison <= 0;
    case CompareOp::kGe:
      return comparison >= 0;
  }
  return false;
}

}  // namespace veriprog::db
