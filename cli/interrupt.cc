#include "cli/interrupt.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "veriprog/connection.h"

namespace veriprog::cli {
namespace {

std::atomic<int> received{0};

void Say(const char* text) {
  // The main thread may be writing too; one write call keeps the line whole.
  std::size_t n = 0;
  while (text[n] != '\0')
    ++n;
  [[maybe_unused]] const auto written = write(STDERR_FILENO, text, n);
}

}  // namespace

void WatchInterrupts() {
  static sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  // Blocked here and in every thread started later; only the watcher takes them.
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::thread([] {
    for (;;) {
      int signal = 0;
      if (sigwait(&signals, &signal) != 0) continue;
      if (received.exchange(signal) != 0) std::_Exit(128 + signal);  // asked twice
      if (db::InterruptAll() == 0) std::_Exit(128 + signal);         // nothing to undo
      Say("\ninterrupted: stopping the statement under way and rolling back...\n");
    }
  }).detach();
}

int InterruptSignal() {
  return received.load();
}

}  // namespace veriprog::cli
