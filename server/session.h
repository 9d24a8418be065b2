#pragma once

#include <cstdint>

#include "protocol/wire.h"

inline constexpr char SERVER_VERSION_TEXT[] = "1.0";
inline constexpr char SERVER_DESCRIPTION[] = "Orvandelcaster capture server - v1.0";

// Serves one connected client until it ends the session: 0 after MSG_END or
// when the client closed the connection, -1 for every other end. Waits without
// limit between requests. Ends the process with status 1 when waiting on the
// socket fails. Does not close the socket.
int serve_client(int sock);

// Copies the two identification texts of the last MSG_IDENTIFY request and
// looks up the peer's host name (each destination holds 64 bytes and may be
// null). 0, or -1 when the last message read was not MSG_IDENTIFY.
int read_identification(int sock, char* first, char* second, char* host);

// Answers the client's MSG_VERSION: 0 when it speaks PROTOCOL_VERSION and the
// reply went out; -1 on a mismatch (the client gets a diagnostic instead of a
// reply); the negative result of the send when the reply failed.
int check_version(int sock, const char* prefix);

// MSG_IDENTIFY reply holding value. Returns send_message's result.
int send_identify_reply(int sock, std::uint32_t value);

// MSG_SERVER_INFO reply: name, version text and description in fields of 64,
// 16 and 256 bytes (each may be null). Returns send_message's result.
int send_server_info(int sock, const char* name, const char* version, const char* description);
