// A ledger as a bulk load leaves it: the rows of a generated ledger loaded into a new database
// of the same schema, with no statistics yet and autovacuum held off, so that the operations
// meet the planner's guesses a firm meets right after its data was moved in.
#pragma once

#include <string>

namespace veriprog::bench {

// Copies the rows of `from` into a new database `to` made from `schema_template`, through
// pg_dump and psql (found on the PATH, pointed at the server by the PG* variables), and holds
// off autovacuum in the cluster until AllowAutovacuum. Returns the seconds the load took; throws
// std::runtime_error when a step fails.
double LoadUnanalysedCopy(const std::string& admin, const std::string& schema_template,
                          const std::string& from, const std::string& to);
void AllowAutovacuum(const std::string& admin);

}  // namespace veriprog::bench
