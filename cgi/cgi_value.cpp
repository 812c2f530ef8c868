// Reading and setting the values of a request's data set.
#include "cgi_value.h"

#include <ClearSilver.h>

#include <cstdarg>
#include <cstdio>

const char *cgi_value(struct _cgi *cgi, const char *key, const char *def)
{
    return hdf_get_value(cgi->hdf, key, def);
}

bool cgi_set(struct _cgi *cgi, const char *key, const char *value)
{
    NEOERR *err = hdf_set_value(cgi->hdf, key, value);
    bool set = err == STATUS_OK;
    nerr_ignore(&err);
    return set;
}

bool cgi_setf(struct _cgi *cgi, const char *value, const char *key_fmt, ...)
{
    char key[CGI_KEY_SIZE];
    va_list ap;
    va_start(ap, key_fmt);
    std::vsnprintf(key, sizeof key, key_fmt, ap);
    va_end(ap);
    return cgi_set(cgi, key, value);
}
