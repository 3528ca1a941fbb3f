// What the endpoint asks of a request before an action runs, apart from
// the password: that no other site sent it, and that a change of state
// comes as a POST of JSON, which no other site can send unasked.
#pragma once

#include <string_view>

// True when the request carries a Sec-Fetch-Site value (the variable is
// set, also to the empty text) that is neither "same-origin" (the viewer's
// own requests) nor "none" (a typed address or a bookmark). Browsers send
// the header with every request, preflights and navigations included;
// scripts send none, and then this is false.
bool from_other_site(const char* sec_fetch_site);

// True when the media type of a Content-Type value is application/json:
// compared without regard to ASCII case, with spaces and tabs around it
// and any parameters after a ";" allowed ("application/json; charset=utf-8").
// A null or empty value, and any other type, give false.
bool is_json_type(const char* content_type);

// True for the two methods an action runs for: "GET" and "POST", exactly.
bool action_method(std::string_view method);
