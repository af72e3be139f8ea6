#pragma once
// The free-port probe for a server the run starts itself.
namespace tarnvex::ports {

// True when a TCP socket can be bound to 127.0.0.1 at `port`, without
// address-reuse options and without listening. The port is not held: another
// program may take it right after the probe.
bool IsLocalPortFree(int port);

}  // namespace tarnvex::ports
