#include "web/trust.h"

#include <cstring>

#include "common/platform.h"

namespace {

constexpr std::string_view kJsonType = "application/json";

bool blank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

bool from_other_site(const char* sec_fetch_site) {
  if (!sec_fetch_site) return false;
  const std::string_view site(sec_fetch_site);
  return site != "same-origin" && site != "none";
}

bool is_json_type(const char* content_type) {
  if (!content_type) return false;
  const char* p = content_type;
  while (blank(*p)) ++p;
  // Only the media type before the first ";" counts: a value such as
  // "text/plain; application/json" is plain text to a browser, which sends
  // it from any site without asking first.
  const char* end = std::strchr(p, ';');
  if (!end) end = p + std::strlen(p);
  while (end > p && blank(end[-1])) --end;
  return static_cast<size_t>(end - p) == kJsonType.size() &&
         platform_strnicmp(p, kJsonType.data(), kJsonType.size()) == 0;
}

bool action_method(std::string_view method) { return method == "GET" || method == "POST"; }
