#include "selftest/schema_scripts.h"

#include <cctype>
#include <regex>
#include <stdexcept>

namespace veriprog::selftest {
namespace {

std::string_view Folder(db::Server server) {
  return server == db::Server::kPostgres ? "sql/postgres/" : "sql/sqlserver/";
}

EmbeddedScript Named(db::Server server, std::string_view file) {
  const std::string path = std::string(Folder(server)) + std::string(file);
  for (const EmbeddedScript& s : EmbeddedScripts()) {
    if (s.path == path) return s;
  }
  throw std::logic_error("no embedded script " + path);
}

std::string Upper(std::string s) {
  for (char& c : s)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// True when the text holds something besides blanks and "--" comments.
bool HasStatement(std::string_view text) {
  bool comment = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (comment) {
      comment = c != '\n';
    } else if (c == '-' && i + 1 < text.size() && text[i + 1] == '-') {
      comment = true;
    } else if (!std::isspace(static_cast<unsigned char>(c))) {
      return true;
    }
  }
  return false;
}

bool IsGo(std::string_view line) {
  while (!line.empty() && std::isspace(static_cast<unsigned char>(line.front())))
    line.remove_prefix(1);
  while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())))
    line.remove_suffix(1);
  return line.size() == 2 && std::toupper(static_cast<unsigned char>(line[0])) == 'G' &&
         std::toupper(static_cast<unsigned char>(line[1])) == 'O';
}

}  // namespace

std::vector<EmbeddedScript> InstallScripts(db::Server server) {
  return {Named(server, "schema.sql"), Named(server, "compat.sql"), Named(server, "views.sql")};
}

EmbeddedScript DropScript(db::Server server) {
  return Named(server, "drop.sql");
}

std::vector<std::string> Batches(const EmbeddedScript& script, db::Server server) {
  std::vector<std::string> batches;
  if (server == db::Server::kPostgres) {
    if (HasStatement(script.text)) batches.emplace_back(script.text);
    return batches;
  }
  std::string batch;
  std::string_view rest = script.text;
  while (!rest.empty()) {
    const auto end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (IsGo(line)) {
      if (HasStatement(batch)) batches.push_back(std::move(batch));
      batch.clear();
    } else {
      batch.append(line).append("\n");
    }
  }
  if (HasStatement(batch)) batches.push_back(std::move(batch));
  return batches;
}

std::vector<std::string> CreatedObjects(std::string_view script) {
  static const std::regex create(R"(CREATE\s+(?:TABLE|VIEW)\s+(?:\w+\.)?(\w+))", std::regex::icase);
  std::vector<std::string> tables;
  const std::string text(script);
  for (auto it = std::sregex_iterator(text.begin(), text.end(), create);
       it != std::sregex_iterator(); ++it)
    tables.push_back(Upper((*it)[1].str()));
  return tables;
}

}  // namespace veriprog::selftest
