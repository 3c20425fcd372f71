// ODBC connection strings: "Key=Value;Key={Value with ; or }} inside};...". Read here before the
// driver manager sees them, so that a malformed string gets a message that says what is wrong.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace veriprog::db::odbc {

using Attributes = std::vector<std::pair<std::string, std::string>>;  // key, value (unbraced)

// True for text meant for ODBC: one of its Key= parts is Driver, DSN or FileDSN.
bool IsOdbcConnectionString(std::string_view text);

// The parts of the string. Throws DbError naming the faulty part (never a password) for a part
// without '=', an empty key, an unclosed '{', or a string with neither Driver nor DSN.
Attributes ParseConnectionString(std::string_view text);

// The value of a key, ignoring case; nullopt when absent.
std::optional<std::string> Find(const Attributes& attributes, std::string_view key);

}  // namespace veriprog::db::odbc
