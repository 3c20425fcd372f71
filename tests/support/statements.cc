#include "tests/support/statements.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace veriprog::testing {
namespace {

const std::string kDigests = std::string(VERIPROG_SOURCE_DIR) + "/tests/statements/digests.txt";

struct Recorded {
  std::size_t batches = 0;
  std::string digest;
};

std::string Render(const std::vector<std::string>& batches) {
  std::string out;
  for (const auto& b : batches)
    out += b + "\n-- ---- next batch ----\n";
  return out;
}

// FNV-1a, 64 bits: enough to tell that a text changed, which is all a digest here has to say.
std::string Digest(const std::string& text) {
  std::uint64_t h = 0xcbf29ce484222325u;
  for (unsigned char c : text) {
    h ^= c;
    h *= 0x100000001b3u;
  }
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016" PRIx64, h);
  return hex;
}

std::map<std::string, Recorded> ReadDigests() {
  std::map<std::string, Recorded> out;
  std::ifstream in(kDigests);
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string name;
    Recorded r;
    fields >> name >> r.batches >> r.digest;
    out[name] = r;
  }
  return out;
}

void WriteDigest(const std::string& name, const Recorded& now) {
  auto all = ReadDigests();
  all[name] = now;
  std::ifstream in(kDigests);
  std::string header, line;
  while (std::getline(in, line) && line.rfind('#', 0) == 0)
    header += line + "\n";
  std::ofstream out(kDigests);
  out << header;
  for (const auto& [n, r] : all)
    out << n << ' ' << r.batches << ' ' << r.digest << '\n';
}

}  // namespace

void ExpectStatements(const std::vector<std::string>& batches, const std::string& name) {
  const std::string text = Render(batches);
  const Recorded now{batches.size(), Digest(text)};
  if (std::getenv("VERIPROG_WRITE_STATEMENTS") != nullptr) return WriteDigest(name, now);
  const auto all = ReadDigests();
  const auto it = all.find(name);
  const bool same =
      it != all.end() && it->second.batches == now.batches && it->second.digest == now.digest;
  if (same) return;
  std::filesystem::create_directories("statements");
  std::ofstream("statements/" + name + ".sql", std::ios::binary) << text;
  if (it == all.end()) {
    ADD_FAILURE() << name << ": no digest recorded in " << kDigests;
  } else {
    ADD_FAILURE() << name << ": " << now.batches << " batches, digest " << now.digest
                  << "; recorded " << it->second.batches << " batches, digest " << it->second.digest
                  << ". The text sent is in "
                  << std::filesystem::absolute("statements/" + name + ".sql").string();
  }
}

}  // namespace veriprog::testing
