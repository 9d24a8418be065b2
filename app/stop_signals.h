#pragma once

#include <mutex>
#include <string>

// SIGINT, SIGTERM and SIGHUP end the program in every phase of its life, the
// start-up and a message box included, within a second. They are blocked in
// every thread from the first line of main, so that no system call is cut
// short by them and none arrives unseen, and one thread of their own takes
// them and acts on the phase the program is in:
//  - start-up, until a modal run is about to begin: the process ends at once.
//    Start-up may wait for things no signal cuts short (the registry's locks,
//    a display, a file), and makes nothing that outlives the process but the
//    directory left to remove_at_stop: the registry's locks go with the
//    process, and nothing is published before the window runs;
//  - a modal run (the monitor window, a message box): the main thread is asked
//    to end it as Esc does, and the program ends the ordinary way, withdrawing
//    its publication. Should the process still run STOP_GRACE_MS later (the
//    main thread, or an exit action, waits for something another process
//    holds), it ends then as at start-up.
// Either way the exit status is the one the phase was given: 0, or 1 while a
// refusal is shown.

// How long a stop waits for the ordinary end before it ends the process.
inline constexpr int STOP_GRACE_MS = 600;

// Blocks the stop signals in the calling thread and in every thread started
// afterwards, and starts the thread that takes them, in the start-up phase
// with status 0. The first line of main, before any other thread exists.
void watch_stop_signals();

// A stop ends the process at once with status.
void stop_at_once(int status);

// A stop calls ask_to_end (on the stop signals' thread; null: nothing to ask,
// the program is ending already), then ends the process with status if it
// still runs STOP_GRACE_MS later.
void stop_through(void (*ask_to_end)(), int status);

// No stop is acted on while the lock is held: hold it while making the
// directory and giving it to remove_at_stop, so none comes in between.
[[nodiscard]] std::unique_lock<std::mutex> hold_stop_signals();

// The directory that a stop ending the process removes first (the private
// runtime directory), or empty for none. Call it holding hold_stop_signals().
void remove_at_stop(const std::string& directory);
