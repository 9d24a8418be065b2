#pragma once

#include <cstddef>

// Whole-buffer reads and writes on a stream socket, through the platform's
// socket calls (platform::net()), for servers and clients alike.

// Receives exactly count bytes: count, or fewer (possibly 0) when the peer
// closed first, or the negative result of the failing receive.
int recv_all(int sock, void* dst, int count);

// As recv_all, waiting at most timeout_ms in all for the bytes to arrive:
// count, fewer when the peer closed first, or -1 with errno (ETIMEDOUT when
// the time ran out).
int recv_all_within(int sock, void* dst, int count, int timeout_ms);

// Sends exactly count bytes: count, or the result of the send that failed
// (0 or negative), never a partial count.
int send_all(int sock, const void* src, int count);
