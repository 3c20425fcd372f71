// The rows of a fetched result that a filter keeps: how a backend that cannot let rows go as they
// arrive still answers Connection::QueryKeeping.
#pragma once

#include "veriprog/connection.h"

namespace veriprog::db {

// The kept rows of `all` in their order, with its fields and write-back target. An exception
// from `keep` is thrown on.
QueryResult KeepRows(QueryResult all, const RowFilter& keep);

}  // namespace veriprog::db
