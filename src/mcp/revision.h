// The MCP revisions the server speaks, and the era each request belongs to.
//
// Two eras share one process, decided request by request:
//   - the handshake era (2024-11-05, 2025-03-26, 2025-06-18, 2025-11-25):
//     the client opens with "initialize", requests carry no revision;
//   - the stateless era (2026-07-28): no handshake; every request carries
//     its revision and the client's capabilities in params._meta.
#pragma once

#include <string_view>

#include "common/buf.h"
#include "common/json.h"

enum class Era { handshake, stateless };

inline constexpr std::string_view STATELESS_REVISION = "2026-07-28";
inline constexpr std::string_view HANDSHAKE_REVISIONS[] = {"2024-11-05", "2025-03-26", "2025-06-18",
                                                           "2025-11-25"};

// The revision an "initialize" with these params is answered with: the
// client's params.protocolVersion when it is one of HANDSHAKE_REVISIONS;
// the latest of them for any other string (the stateless revision included,
// which "initialize" never answers); 2024-11-05 when there is no string, so
// that clients that send none get what they always got.
std::string_view initialize_revision(JsonVal params);

// The stateless era: params is an object whose "_meta" member is an object
// with a member "io.modelcontextprotocol/protocolVersion", of any type.
Era request_era(JsonVal params);

// Checks the envelope of a stateless request, in this order: the revision
// claim must be a string and the client's capabilities an object (else the
// -32602 error), and the revision must be STATELESS_REVISION (else -32022
// with the supported revisions and the requested one). When the request is
// refused, appends the error answer to out and returns true.
bool refuse_stateless_envelope(Buf& out, std::string_view id, JsonVal params);
