// The user asking the program to stop: SIGINT and SIGTERM on Linux; Ctrl-C, Ctrl-Break (as 2)
// and the console window closing (as 15) on Windows. A thread of the platform's calls the
// handler; on a closing console Windows ends the process when the handler returns, so the
// program has until then (about five seconds) to roll back and exit.
#pragma once

namespace veriprog::platform {

// Installs `on_interrupt`; call once, first thing in main, before any other thread exists.
void WatchInterrupts(void (*on_interrupt)(int signal));

}  // namespace veriprog::platform
