#pragma once

#include <string>

#include "tests/support/raw_client.h"

// The server's replies and error lines as a capture client and an operator
// must see them, written out from the wire formats rather than from the
// server's code, so that a test compares the real thing against them.
namespace test_support {

Bytes identify_reply();
Bytes version_reply();
Bytes server_info_reply();
Bytes unknown_command_reply();
Bytes version_mismatch_reply(int client_version);

// MSG_CHANNEL_INFO for the four joystick channels, before and after the first
// data request has built the data block (which sets the block and data words).
Bytes channel_info_reply(bool block_built);
// MSG_DATA with every axis centred, as read with no joystick present.
Bytes centred_data_reply();

// "Orvandelcaster: " and the C library's text for error, and a newline.
std::string error_line(int error);
// The errno that a failure line names: text is exactly one line the server
// thread writes, "Orvandelcaster: ", optionally what failed and ": ", the C
// library's text for that number, and a newline. 0 when text is no such line
// (a line naming no cause, such as "(errno = 0)", is none).
int error_line_errno(const std::string& text);
bool is_error_line(const std::string& text);
// The number of such lines that make up text exactly; -1 when text holds
// anything else.
int count_error_lines(const std::string& text);

}  // namespace test_support
