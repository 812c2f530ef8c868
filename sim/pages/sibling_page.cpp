// Helpers shared by the sibling page stand-ins.
#include "sibling_page.h"

#include "cgi_value.h"
#include "page_driver.h"
#include "web_state.h"

#include <string_view>
#include <unistd.h>

const char *sib_lang()
{
    std::string_view l = cgi_value(web_cgi, "Query.lang", "en");
    const char *lang = l == "cn" ? "cn" : "en";
    cgi_set(web_cgi, "lang", lang);
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
