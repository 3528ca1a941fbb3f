// Looking up one parameter of a URL query.
#pragma once

#include <cstddef>

// Finds the first parameter of the query whose raw name is exactly `name`
// ("&" separates parameters; a parameter matches when it starts with the
// name followed by "="). Its raw value is cut to capacity - 1 bytes first,
// then decoded in place: "+" becomes a space, "%" and two hex digits the
// byte they name, any other "%" stays as it is; a decoded NUL ends the text.
// True when the parameter is present (also with an empty value). A null
// query gives false and leaves out untouched; otherwise out is set to the
// empty text before the search. The capacity is at least 1.
bool get_query_val(const char* query, const char* name, char* out, size_t capacity);
