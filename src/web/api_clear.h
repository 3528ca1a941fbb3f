// The "clear" action: deletion of the chains file, on explicit confirmation.
#pragma once

#include <cstdint>

#include "web/answer.h"

// Takes the confirmation from the body's member "confirm" when the body has
// one (the query is then not looked at), else from the query parameter
// "confirm". Only "1" or "true" (so also the JSON values 1 and true)
// confirm; anything else answers "confirm=1 required" and deletes nothing.
void api_clear_action(Buf& body, const Request& request, FILE* err);

// How long a clear waits for the store's lock: a recording of a full store
// takes a small part of it.
inline constexpr int64_t CLEAR_LOCK_WAIT_MS = 5000;

// Removes the chains file and its summary and nothing else, holding the
// store's lock, so that a recording in flight finishes first and the next
// recording starts from nothing; a missing file counts as cleared, and then
// nothing is locked or created. When the lock stays busy for
// CLEAR_LOCK_WAIT_MS, answers "store busy" and removes nothing. A removal
// that fails for another reason is retried once after the file has been
// made writable. Answers {"ok":true,"cleared":true} or "remove failed",
// which only the chains file decides.
void api_clear(Buf& body);
