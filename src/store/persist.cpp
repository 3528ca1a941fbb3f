#include "store/persist.h"

// The chain store does not record thoughts yet: a session's thoughts live in
// its memory only.
void persist_thought(const char* session_id, const Thought& thought) {
  (void)session_id;
  (void)thought;
}
