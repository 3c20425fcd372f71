// How long an operation may wait on the server, and what it says while it waits: for hosts that
// run unattended, where a run stuck behind another session must end rather than hang.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace veriprog {

struct RunLimits {
  // Seconds to wait for the company's lock while another run holds it; nullopt waits as long as
  // it takes. Past it the operation fails with "company N is locked by another run" and writes
  // nothing.
  std::optional<double> lock_timeout = std::nullopt;
  // Seconds each statement may run, set on the connections the main object opens from SConnect
  // (a host's own connection in GConnect keeps its own settings); nullopt: no limit.
  std::optional<double> statement_timeout = std::nullopt;
  // Told on the operation's thread when the company's lock is held elsewhere and the wait
  // begins: what it waits for, in a line.
  std::function<void(const std::string& what)> on_wait = {};
};

}  // namespace veriprog
