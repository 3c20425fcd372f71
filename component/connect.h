// The services' own connections: made from SConnect, or refused the way the operations refuse a
// connection they cannot make.
#pragma once

#include <memory>
#include <string>

#include "veriprog/connection.h"
#include "veriprog/enums.h"

namespace veriprog {

// What a service says of a connection it could not make: Stato, Errore and the cause.
struct Refusal {
  StatoEnum stato = tsOk;
  std::string errore, causa;
};

// A connection to `connection`, or nullptr with `refusal` set to tsParametriNonValidi,
// "Non è stata definita la connessione" and the driver's reason. Never throws.
std::shared_ptr<db::Connection> ConnectOrRefuse(const std::string& connection, Refusal& refusal,
                                                const db::ConnectOptions& options = {});

}  // namespace veriprog
