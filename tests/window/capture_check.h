#pragma once

#include <string>
#include <vector>

// A small capture client for tests: finds a server in the registry, connects
// on 127.0.0.1 and checks its replies to a whole session.

// Waits up to timeout_ms for name to be published in the registry this
// process opens (registry_object_name()) and connects to it: the connected
// socket, or -1 with the reason in *error.
int connect_to_capture_server(const char* name, int timeout_ms, std::string* error);

// Runs the requests of a capture session on sock, each waiting up to
// timeout_ms for its reply: MSG_IDENTIFY, MSG_VERSION 300, MSG_SERVER_INFO,
// MSG_CHANNEL_INFO and MSG_DATA. True when every reply is what a served client
// gets (the server's name "Orvandelcaster", four channels, a 48-byte data
// block); otherwise false with the reason in *error. Does not end the session.
// values, when given, receives the four channel values of the data block.
bool run_capture_requests(int sock, int timeout_ms, std::string* error,
                          std::vector<float>* values = nullptr);

// Sends MSG_END, which ends the session; true when it went out.
bool send_end(int sock);

// Waits up to timeout_ms for the server to close the connection: true when it
// closed it without sending anything more, false (with the reason) when bytes
// arrived or the time ran out.
bool wait_for_silent_close(int sock, int timeout_ms, std::string* error);
