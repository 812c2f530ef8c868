// Helpers shared by the sibling page stand-ins.
#include "sibling_page.h"

#include "web_state.h"

#include <string_view>
#include <unistd.h>

const char *sib_value(const char *key, const char *def)
{
    return hdf_get_value(web_cgi->hdf, key, def);
}

void sib_set(const char *key, const char *value)
{
    NEOERR *err = hdf_set_value(web_cgi->hdf, key, value);
    nerr_ignore(&err);
}

const char *sib_lang()
{
    std::string_view l = sib_value("Query.lang", "en");
    const char *lang = l == "cn" ? "cn" : "en";
    sib_set("lang", lang);
    return lang;
}

int sib_render(const char *template_name)
{
    // Every value a template shows is HTML-escaped, inside conditionals and
    // loops too (a template's own escape block does not reach into those).
    sib_set("Config.VarEscapeMode", "html");
    sib_set("cgiout.ContentType", "text/html; charset=utf-8");
    sib_set("cgiout.other.referrer", "Referrer-Policy: no-referrer");
    NEOERR *err = cgi_display(web_cgi, template_name);
    if (err == STATUS_OK)
        return 0;
    cgi_neo_error(web_cgi, err);
    nerr_log_error(err);
    return 1;
}

bool sib_start(int argc, char **argv, char **envp)
{
    if (chdir("/var/www") != 0) {
    }
    cgiwrap_init_std(argc, argv, envp);
    NEOERR *err = cgi_init(&web_cgi, nullptr);
    if (err == STATUS_OK)
        return true;
    cgi_neo_error(web_cgi, err);
    nerr_log_error(err);
    return false;
}
