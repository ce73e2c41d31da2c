#pragma once

// The main thread is the one that owns the application object: windows, timers'
// dispatch and every setter a header marks "main thread" belong to it.

#include <source_location>

// Is the caller on the thread of the application object? (false without one)
bool IsMainThread();

// Checks a main-thread contract at the top of a function that keeps one. True on the
// main thread, and when no application object exists yet (nothing else runs then). Off
// it, the builds made to find faults (Debug, the sanitizers) abort naming the function;
// a release build returns false so the function can refuse quietly.
bool CheckMainThread(std::source_location Where = std::source_location::current());
