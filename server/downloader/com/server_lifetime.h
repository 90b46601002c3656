// The life of the server process: it runs while any object or class-factory
// lock is alive and ends its message loop when the last one goes.
#pragma once

namespace wex {

// Called on the server's one thread. When the count returns to zero the
// message loop of that thread is told to end.
void ServerAddRef();
void ServerRelease();

// Remembers the thread whose message loop ServerRelease ends.
void ServerSetMainThread(unsigned long threadId);

}  // namespace wex
