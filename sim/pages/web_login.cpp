// web_login.cgi stand-in: the switch's login page. Logs a user in through
// IMI and sends the browser to the static MAC listing; also logs out.
#include "cgi_value.h"
#include "imi_client.h"
#include "sibling_page.h"
#include "web_state.h"

#include <cstdio>
#include <strings.h>

int main(int argc, char **argv, char **envp)
{
    if (!sib_start(argc, argv, envp))
        return 1;
    const char *method = cgi_value(web_cgi, "CGI.RequestMethod", "GET");
    if (strcasecmp(method, "POST") == 0) {
        NEOERR *err = cgi_parse(web_cgi);
        nerr_ignore(&err);
    }
    const char *lang = sib_lang();

    if (strcasecmp(cgi_value(web_cgi, "Query.operate", ""), "logout") == 0) {
        const char *sid = cgi_value(web_cgi, "Query.sessionId", nullptr);
        if (sid && imi_logout(sid) == 0)
            cgi_set(web_cgi, "notice", "logged_out");
    } else if (strcasecmp(method, "POST") == 0) {
        const char *user = cgi_value(web_cgi, "Query.username", "");
        const char *password = cgi_value(web_cgi, "Query.password", "");
        const char *client = cgi_value(web_cgi, "CGI.RemoteAddress", "unknown");
        char session[32] = {};
        char reason[500] = {};
        if (imi_login(user, password, client, session, reason) == 0) {
            std::printf("Location: web_mac_static.cgi?sessionId=%s&lang=%s\r\n\r\n", session, lang);
            return 0;
        }
        cgi_set(web_cgi, "error", reason);
    }
    cgi_set(web_cgi, "username", cgi_value(web_cgi, "Query.username", ""));
    return sib_render("web_login.cs");
}
