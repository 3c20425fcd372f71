#include "tests/support/statements.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace veriprog::testing {
namespace {

constexpr const char* kSeparator = "\n-- ---- next batch ----\n";

std::string Render(const std::vector<std::string>& batches) {
  std::string out;
  for (const auto& b : batches)
    out += b + kSeparator;
  return out;
}

std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> out;
  const std::string sep = kSeparator;
  std::size_t from = 0;
  for (std::size_t at; (at = text.find(sep, from)) != std::string::npos; from = at + sep.size())
    out.push_back(text.substr(from, at - from));
  return out;
}

}  // namespace

void ExpectStatements(const std::vector<std::string>& batches, const std::string& name) {
  const std::string path = std::string(VERIPROG_SOURCE_DIR) + "/tests/statements/" + name + ".sql";
  if (std::getenv("VERIPROG_WRITE_STATEMENTS") != nullptr) {
    std::ofstream(path, std::ios::binary) << Render(batches);
    return;
  }
  std::ifstream in(path, std::ios::binary);
  ASSERT_TRUE(in) << "missing " << path;
  std::stringstream text;
  text << in.rdbuf();
  const auto want = Split(text.str());
  ASSERT_EQ(batches.size(), want.size()) << name << ": number of batches";
  for (std::size_t i = 0; i < want.size(); ++i) {
    ASSERT_EQ(batches[i], want[i]) << name << ": batch " << i + 1;
  }
}

}  // namespace veriprog::testing
