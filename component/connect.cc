#include "component/connect.h"

namespace veriprog {

std::shared_ptr<db::Connection> ConnectOrRefuse(const std::string& connection, Refusal& refusal,
                                                const db::ConnectOptions& options) {
  try {
    return db::Connect(connection, options);
  } catch (const std::exception& e) {
    refusal = {tsParametriNonValidi, "Non è stata definita la connessione", e.what()};
    return nullptr;
  }
}

}  // namespace veriprog
