// The one way pages, loaders and stand-ins read and set the values of a
// request's data set (the HDF of its ClearSilver CGI context).
#pragma once

#include <cstddef>

struct _cgi;

// The longest key cgi_setf builds, terminator included; a longer one is cut.
inline constexpr std::size_t CGI_KEY_SIZE = 128;

// The value at key, or def when there is none.
const char *cgi_value(struct _cgi *cgi, const char *key, const char *def = nullptr);

// Sets key to value (copied). false when it could not be stored (no
// memory): what a page would show from the data set is then not whole.
bool cgi_set(struct _cgi *cgi, const char *key, const char *value);

// cgi_set under the key made from key_fmt and its arguments.
bool cgi_setf(struct _cgi *cgi, const char *value, const char *key_fmt, ...)
    __attribute__((format(printf, 3, 4)));
