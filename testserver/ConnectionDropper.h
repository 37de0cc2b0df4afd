// Cuts one of the test server's own TCP connections without an answer.
//
// The HTTP library hands request handlers no socket, so the connection is
// found among the process's descriptors by its two loopback ports. Linux
// only (reads /proc/self/fd).
//
// Thread safety: may be called from any thread; call it while the
// connection's handler is still running, so the descriptor cannot be closed
// and reused meanwhile.
#pragma once

namespace plexora::testserver {

// Shuts down both directions of the server-side socket whose local port is
// `serverPort` and whose peer port is `peerPort`. The library closes the
// descriptor itself later. Answers whether such a socket was found.
bool dropConnection(int serverPort, int peerPort);

}  // namespace plexora::testserver
