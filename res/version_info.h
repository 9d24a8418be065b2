#pragma once

// The version block: the program's version and product strings. The strings
// are also kept in the executable's section ".orvandelcaster.version", so
// they can be read without running it:
//   readelf -p .orvandelcaster.version orvandelcaster

// "1.0.1.0"
const char* file_version();
// "1.0.1": the version shown to people, as in the About box.
const char* shown_version();
// The product name for the application framework: "Orvandelcaster".
const char* internal_name();
