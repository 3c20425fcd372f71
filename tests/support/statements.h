// The statements an operation sent, kept as text files under tests/statements/ and compared
// byte for byte: the SQL Server text of every statement is part of the contract. After a
// deliberate change, VERIPROG_WRITE_STATEMENTS=1 writes the files afresh (review the diff).
#pragma once

#include <string>
#include <vector>

namespace veriprog::testing {

// Fails the test (with the first differing statement) unless `batches` equal the file `name`.
void ExpectStatements(const std::vector<std::string>& batches, const std::string& name);

}  // namespace veriprog::testing
