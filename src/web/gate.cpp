#include "web/gate.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "common/platform.h"
#include "web/query.h"

namespace {

// Longest password the query parameter can carry, plus its NUL.
constexpr size_t kQueryPasswordCapacity = 256;

bool bearer_matches(const char* header, std::string_view password) {
  const char* p = header;
  while (*p == ' ') ++p;
  if (platform_strnicmp(p, "Bearer ", 7) != 0) return false;
  p += 7;
  while (*p == ' ') ++p;
  // Trailing blanks stay and make the comparison fail.
  return same_secret(p, password);
}

}  // namespace

bool same_secret(std::string_view given, std::string_view secret) {
  // Every byte of the secret is looked at whatever the given text holds, so
  // the time tells at most the secret's length.
  unsigned char diff = given.size() == secret.size() ? 0 : 1;
  for (size_t i = 0; i < secret.size(); ++i) {
    unsigned char g = i < given.size() ? static_cast<unsigned char>(given[i]) : 0;
    diff = static_cast<unsigned char>(diff | (g ^ static_cast<unsigned char>(secret[i])));
  }
  return diff == 0;
}

bool gate_passes(const char* query) {
  const char* password = std::getenv("BOT_PASSWORD");
  if (!password || !*password) return true;
  const std::string_view secret(password);

  if (const char* header = std::getenv("HTTP_X_BOT_PASSWORD"); header && same_secret(header, secret))
    return true;
  if (const char* auth = std::getenv("HTTP_AUTHORIZATION"); auth && bearer_matches(auth, secret)) return true;
  char given[kQueryPasswordCapacity];
  return get_query_val(query, "pwd", given, sizeof given) && same_secret(given, secret);
}
