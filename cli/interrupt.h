// Ctrl-C and SIGTERM during an operation: a thread of its own waits for the signal and
// interrupts every open connection, so that the statement under way stops, the operation fails
// and its transaction rolls back; the command then says so and ends with 128 + the signal's
// number (130, 143). With no connection open there is nothing to undo: the tool ends at once.
// A second signal ends it at once too.
#pragma once

namespace veriprog::cli {

// Starts watching; call once, first thing in main, before any other thread exists.
void WatchInterrupts();
// The signal that interrupted the operation, or 0.
int InterruptSignal();

}  // namespace veriprog::cli
