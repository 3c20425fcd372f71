// The generator's one owner of a libpq result: cleared when it goes out of scope, whichever way.
#pragma once

#include <libpq-fe.h>

#include <memory>

namespace veriprog::gen {

struct PgClear {
  void operator()(PGresult* r) const { PQclear(r); }
};
using PgResult = std::unique_ptr<PGresult, PgClear>;

}  // namespace veriprog::gen
