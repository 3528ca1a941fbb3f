// The "clear" action: deletion of the chains file, on explicit confirmation.
#pragma once

#include "web/answer.h"

// Takes the confirmation from the body's member "confirm" when the body has
// one (the query is then not looked at), else from the query parameter
// "confirm". Only "1" or "true" (so also the JSON values 1 and true)
// confirm; anything else answers "confirm=1 required" and deletes nothing.
void api_clear_action(Buf& body, const Request& request, FILE* err);

// Clears the store (store_clear) and answers {"ok":true,"cleared":true},
// or "store busy" or "remove failed".
void api_clear(Buf& body);
