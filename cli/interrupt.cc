#include "cli/interrupt.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "platform/interrupts.h"
#include "veriprog/connection.h"

namespace veriprog::cli {
namespace {

std::atomic<int> received{0};

void OnInterrupt(int signal) {
  if (received.exchange(signal) != 0) std::_Exit(128 + signal);  // asked twice
  if (db::InterruptAll() == 0) std::_Exit(128 + signal);         // nothing to undo
  // The main thread may be writing too; one call keeps the line whole.
  std::fputs("\ninterrupted: stopping the statement under way and rolling back...\n", stderr);
}

}  // namespace

void WatchInterrupts() {
  platform::WatchInterrupts(OnInterrupt);
}

int InterruptSignal() {
  return received.load();
}

}  // namespace veriprog::cli
