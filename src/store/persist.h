// Recording accepted thoughts in the chain store.
#pragma once

#include "common/thought.h"

// Adds the thought to the chain of this session in the chains file. Reports
// nothing: the tool's answer never depends on it.
void persist_thought(const char* session_id, const Thought& thought);
