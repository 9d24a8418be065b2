#pragma once

#include <map>
#include <string>

#include "client/capture_client.h"

// What `capture-probe record` writes: CSV that the server can replay as
// joystick 0 (platform/recording.h reads it).
namespace probe {

// text as one CSV field: quoted, with its quotes doubled, when it holds a
// comma, a quote, a blank at either end or a line end; as it is otherwise.
std::string csv_field(const std::string& text);

// The header for blocks laid out as data: "seconds", then per value the
// channel's name (NAME[k] for the values of a channel with several).
std::string format_csv_header(const client::DataBlock& data,
                              const std::map<std::int32_t, std::string>& names);

// One row: seconds with %.6f, then every value with %.9g, which reads back
// as the very same float.
std::string format_csv_row(double seconds, const client::DataBlock& data);

// Whether two blocks hold the same channels with the same number of values,
// so that one header fits both.
bool same_layout(const client::DataBlock& a, const client::DataBlock& b);

}  // namespace probe
