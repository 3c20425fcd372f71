// The statements an operation sent, held to their recorded digest in tests/statements/digests.txt:
// the SQL Server text of every statement is part of the contract, so any change to it, however
// small, fails. On a difference the text sent is written to statements/<name>.sql beside the test
// binary for review; after a deliberate change VERIPROG_WRITE_STATEMENTS=1 records the new digests
// (run the tests one at a time then: they share the file).
#pragma once

#include <string>
#include <vector>

namespace veriprog::testing {

// Fails the test unless `batches` have the number and the digest recorded under `name`.
void ExpectStatements(const std::vector<std::string>& batches, const std::string& name);

}  // namespace veriprog::testing
