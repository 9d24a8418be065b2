#pragma once

#include <string>
#include <vector>

#include "client/capture_client.h"

// What the window and widget tests ask of a capture server, over the client
// library: that it is found and serves a whole session, and that it drops a
// connected client without a word when it ends.

// Waits up to timeout_ms for name to be published in the registry this
// process opens (registry_object_name()) and connects *connection to it.
// False, with the reason in *error, when the time runs out.
bool connect_when_published(const char* name, int timeout_ms, client::Connection* connection,
                            std::string* error);

// Runs the requests of a served client: identification, version 300, server
// information (named "Orvandelcaster"), channel information (four channels)
// and one data request (four one-value channels). True when every reply is as
// expected; *values, when given, receives the four channel values. Does not
// end the session.
bool run_capture_requests(client::Connection& connection, std::string* error,
                          std::vector<float>* values = nullptr);

// Waits up to timeout_ms for the server to close the connection: true when it
// closed without sending anything more.
bool wait_for_silent_close(const client::Connection& connection, int timeout_ms,
                           std::string* error);
