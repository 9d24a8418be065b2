#pragma once

// The hosting program's notice of the server's first publication (the
// handler is installed through server/capture_server.h).

// Tells the hosting program of a publication of name, through the handler
// installed with set_first_publication_handler: the first one only, so that
// the re-publication after each session says nothing.
void notice_publication(const char* name);
