// The one family of failures inside the library. Every failure is an Error with a kind, so that
// the component's routine guard, the command line and the tests can tell a database failure from
// a bad value, a bad parameter or a failing outside component. Errors travel as exceptions inside
// the library only: the routine guard turns them into Stato/Errore at the public face.
#pragma once

#include <stdexcept>
#include <string>

namespace veriprog::db {

class Error : public std::runtime_error {
 public:
  enum class Kind {
    kDatabase,   // the server, the connection, SQL translation, record sets
    kValue,      // a value that cannot be read or computed (a decimal overflow, a text as a number)
    kParameter,  // a parameter of the operation that cannot be used as given
    kOutside,    // an outside component of the ledger system (company, table names, formatters)
  };
  Error(Kind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
  Kind kind() const { return kind_; }

 private:
  Kind kind_;
};

class DbError : public Error {
 public:
  explicit DbError(const std::string& message) : Error(Kind::kDatabase, message) {}
};

class ValueError : public Error {
 public:
  explicit ValueError(const std::string& message) : Error(Kind::kValue, message) {}
};

class ParameterError : public Error {
 public:
  explicit ParameterError(const std::string& message) : Error(Kind::kParameter, message) {}
};

class OutsideError : public Error {
 public:
  explicit OutsideError(const std::string& message) : Error(Kind::kOutside, message) {}
};

}  // namespace veriprog::db
