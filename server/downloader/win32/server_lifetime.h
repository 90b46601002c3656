// The life of the server process: it runs while any object or class-factory
// lock is alive and ends its message loop when the last one goes. A process
// that COM started for a client that never asks for an object (killed between
// the launch and CreateInstance, or one that only took the class factory)
// ends when the grace period after its start runs out.
#pragma once

namespace wex {

// The grace period for the first object or lock, in milliseconds; the
// variable WEXLO_START_GRACE_MS in the server's environment, read at start,
// shortens or lengthens it (from 1 ms to 10 minutes) for tests.
constexpr unsigned long kStartGraceMs = 30000;

// Called on the server's one thread; counted with CoAddRefServerProcess and
// CoReleaseServerProcess, so that COM refuses new activations once the count
// is back at zero. When it is, the message loop of that thread is told to
// end. The first object or lock also ends the grace period.
void ServerAddRef();
void ServerRelease();

// Remembers the thread whose message loop ServerRelease ends.
void ServerSetMainThread(unsigned long threadId);

// Holds the process for the grace period; called once the class object is
// registered, on the thread that runs the message loop.
void ServerStartGracePeriod();

}  // namespace wex
