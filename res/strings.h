#pragma once

// The string table. Returns the text of string id, or an empty text when the
// table has no such string (never null).
const char* load_string(int id);
