// Script functions asked for by a search thread, run on the installer's thread.
//
// A search runs on a thread of its own, but the installer's stack, variables and functions belong
// to the thread that made the plug-in call which is waiting for the search: the thread inside
// SilentSearch or SilentWait, or the installer's GUI thread that runs the page's message loop.
// The search thread never runs script code. It leaves a request here (which function, what to
// push), rings a bell that carries nothing but "a request waits", and waits; the waiting thread
// serves the request in its wait (push, run the function, pop the answer, leave the stack as it
// was) and hands the answer back. No lock is held while a function runs, so a function may call
// the plug-in again, and the installer's own handlers and the search's functions take turns on
// one thread. A request made while no thread waits simply waits for the next wait.
#pragma once
#include <initializer_list>

#include "frame/plugin.h"

namespace tv {

// ---- the search thread's side

// Has the waiting installer thread push the texts in order, run the script function at
// functionIndex and pop its answer into `answer` (when one is wanted). False when the function
// did not run (the plug-in is being unloaded, or the installer could not run it) or left no
// answer where one was wanted.
bool CallScript(int functionIndex, std::initializer_list<const tchar*> texts, Arg* answer);

// ---- the installer thread's side

// Makes the channel ready for a new search thread; false when it cannot be had.
bool OpenScriptCalls();
// Waits at most `milliseconds` (INFINITE: without limit) for the object, serving meanwhile the
// messages other threads send to the calling thread, its repaints and the search's script calls.
// WAIT_OBJECT_0 when the object was signalled, WAIT_TIMEOUT, or WAIT_FAILED.
DWORD WaitServingScriptCalls(HANDLE object, DWORD milliseconds);
// The bell of the channel, for a message loop that serves calls itself (the page); null before
// OpenScriptCalls.
HANDLE ScriptCallBell();
// Runs the request that waits, if one does, on the calling thread.
void ServeScriptCall();
// True while the calling thread runs a function for a search: a wait for that search from
// inside it could never end.
bool InsideScriptCall();

// Every request, waiting or to come, fails at once (a function that runs already finishes):
// the plug-in is being unloaded.
void AbandonScriptCalls();
bool ScriptCallsAbandoned();
// Clears the abandonment and releases the channel's events, once no search thread is left.
void CloseScriptCalls();

}  // namespace tv
