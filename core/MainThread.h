#pragma once

// The main thread is the one that owns the application object: windows, timers'
// dispatch and every setter a header marks "main thread" belong to it.

// Is the caller on the thread of the application object? (false without one)
bool IsMainThread();

// Checks a main-thread contract at the top of a function that keeps one. True on the
// main thread, and when no application object exists yet (nothing else runs then). Off
// it, the builds made to find faults (Debug, the sanitizers) abort naming the function;
// a release build returns false so the function can refuse quietly.
//
// A macro, so the caller's own name, file and line are taken where it stands, the same with
// g++ and clang: clang 14 with Debian 12's libstdc++ has no std::source_location, and the
// __builtin_FUNCTION() a default argument could take gives only "operator()" for a lambda
// where __PRETTY_FUNCTION__ gives the enclosing function and the class.
#define CheckMainThread() CheckMainThreadAt(__PRETTY_FUNCTION__, __FILE__, __LINE__)

// What CheckMainThread() calls: Function, File and Line name the caller in the abort's message.
bool CheckMainThreadAt(const char *Function, const char *File, unsigned Line);
