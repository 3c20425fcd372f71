// DbError: failure of the database layer (record sets, connections, SQL translation). Inside the
// library it travels as an exception; the component's routine guard turns it into Stato/Errore.
#pragma once

#include <stdexcept>

namespace veriprog::db {

class DbError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace veriprog::db
