// web_login.cgi stand-in: the switch's login page. Logs a user in through
// IMI and sends the browser to the static MAC listing; also logs out.
#include "imi_client.h"
#include "sibling_page.h"
#include "web_state.h"

#include <cstdio>
#include <strings.h>

int main(int argc, char **argv, char **envp)
{
    if (!sib_start(argc, argv, envp))
        return 1;
    const char *method = sib_value("CGI.RequestMethod", "GET");
    if (strcasecmp(method, "POST") == 0) {
        NEOERR *err = cgi_parse(web_cgi);
        nerr_ignore(&err);
    }
    const char *lang = sib_lang();

    if (strcasecmp(sib_value("Query.operate", ""), "logout") == 0) {
        const char *sid = sib_value("Query.sessionId", nullptr);
        if (sid && imi_logout(sid) == 0)
            sib_set("notice", "logged_out");
    } else if (strcasecmp(method, "POST") == 0) {
        const char *user = sib_value("Query.username", "");
        const char *password = sib_value("Query.password", "");
        const char *client = sib_value("CGI.RemoteAddress", "unknown");
        char session[32] = {};
        char reason[500] = {};
        if (imi_login(user, password, client, session, reason) == 0) {
            std::printf("Location: web_mac_static.cgi?sessionId=%s&lang=%s\r\n\r\n", session, lang);
            return 0;
        }
        sib_set("error", reason);
    }
    sib_set("username", sib_value("Query.username", ""));
    return sib_render("web_login.cs");
}
