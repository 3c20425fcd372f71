// Something to stand between Connect and every connection it opens, for the whole process: a
// wrapper that injects faults into a soak run, one that counts. Set it before the connections
// are made; nullptr takes it away. Not part of the installed interface.
#pragma once

#include <functional>
#include <memory>

#include "veriprog/connection.h"

namespace veriprog::db {

using ConnectionDecorator =
    std::function<std::shared_ptr<Connection>(std::shared_ptr<Connection> opened)>;
void SetConnectionDecorator(ConnectionDecorator decorator);

}  // namespace veriprog::db
