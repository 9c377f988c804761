#pragma once
// The orderly end of the process's background work.
//
// Two things run work on threads: the URL session's network loop and the worker pool behind
// the dispatch and operation queues (whose threads the loop borrows while it has transfers).
// Both outlive main() unless stopped, and a thread still
// running while the exit handlers destroy static objects reads freed memory. So:
//  - run() stops the network first (every transfer still running ends as cancelled, and its
//    end is delivered), then lets the workers finish what is queued (for a bounded time) and
//    joins them, then runs the handlers given to atShutdown, newest first;
//  - NSApplication's terminate calls run(); the exit of the process (a return from main or
//    exit()) calls finalRun(), after which no background thread starts again;
//  - process-wide objects that those threads reach are made once and never destroyed, so
//    that a thread stuck past the time limit still finds them.
// Work handed to the queues after run() starts their threads again; only finalRun() is final.

#include <functional>

namespace ProcessShutdown {

// Who stops first: the network delivers its last replies to the queues, which run them.
enum class Stage { network = 0, workers = 1 };

// For the owners of threads: `stop(final)` returns once no thread of theirs runs (or the
// time limit has passed); with `final` set it never starts one again.
void registerStopper(Stage stage, std::function<void(bool final)> stop);
// Makes sure the process's exit stops the threads before static objects go. Owners call
// it whenever they start a thread, and after opening a library: exit handlers run newest
// first, so a call puts the stop ahead of every handler registered before it. It registers
// the stop again only when a library has been opened since its last registration, so the
// process's list of exit handlers stays short however often threads start.
void armAtExit();

// A handler run by every shutdown, after the threads have stopped (for example to remove
// temporary files that transfers left). Handlers must tolerate running more than once.
void atShutdown(std::function<void()> handler);

// Stops the background work now; later work starts it again.
void run();
// Stops the background work for good. Idempotent; the exit of the process calls it.
void finalRun();
// True once finalRun() has begun.
bool isFinal();

// How long a shutdown waits for running blocks before it leaves a stuck thread behind.
inline constexpr double kWorkerDrainSeconds = 5.0;

}  // namespace ProcessShutdown
