// Helpers shared by the sibling page stand-ins.
#include "sibling_page.h"

#include "page_driver.h"
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
    // The same headers and escaping as the switch's own pages.
    return page_render(template_name) == 0 ? 0 : 1;
}

bool sib_start(int argc, char **argv, char **envp)
{
    if (chdir("/var/www") != 0) {
    }
    cgiwrap_init_std(argc, argv, envp);
    NEOERR *err = cgi_init(&web_cgi, nullptr);
    if (err == STATUS_OK)
        return true;
    page_fail(err);
    return false;
}
