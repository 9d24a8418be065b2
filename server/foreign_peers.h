#pragma once

// The registry form serves only programs of this server's own user: a
// connection from another user's socket is closed unanswered, without
// withdrawing, so another user never costs the owner a session or the name.

// Whether the accepted connection client comes from another user's socket.
// Names that user on standard error, at most once a minute per user. A peer
// that has already closed its end is refused without a word; one whose owner
// the system does not tell is served.
bool refuse_foreign_peer(int client);
