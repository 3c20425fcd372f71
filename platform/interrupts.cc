#include "platform/interrupts.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>
#include <signal.h>
#endif

#include <thread>

namespace veriprog::platform {
namespace {

void (*handler)(int) = nullptr;

#ifdef _WIN32
BOOL WINAPI OnConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      handler(2);
      return TRUE;
    case CTRL_CLOSE_EVENT:
      handler(15);
      // The process ends when this returns: the main thread exits by itself once rolled back.
      Sleep(4500);
      return TRUE;
    default:
      return FALSE;
  }
}
#endif

}  // namespace

void WatchInterrupts(void (*on_interrupt)(int signal)) {
  handler = on_interrupt;
#ifdef _WIN32
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
#else
  static sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  // Blocked here and in every thread started later; only the watcher takes them.
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::thread([] {
    for (;;) {
      int signal = 0;
      if (sigwait(&signals, &signal) == 0) handler(signal);
    }
  }).detach();
#endif
}

}  // namespace veriprog::platform
