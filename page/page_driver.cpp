// Entry steps shared by the page programs.
#include "page_driver.h"

#include "imi_client.h"
#include "page_frame.h"
#include "web_state.h"

#include <ClearSilver.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <unistd.h>

namespace {

constexpr std::size_t USER_BUF_SIZE = 32;

const char *hdf_value(const char *key, const char *def)
{
    return hdf_get_value(web_cgi->hdf, key, def);
}

void hdf_put(const char *key, const char *value)
{
    NEOERR *err = hdf_set_value(web_cgi->hdf, key, value);
    nerr_ignore(&err);
}

bool lang_is_valid(std::string_view lang)
{
    return lang == "cn" || lang == "en";
}

// A session id becomes part of a file name under /var/run: one that could
// leave that directory, or end a header line, is no session at all.
bool session_id_is_safe(std::string_view sid)
{
    for (unsigned char c : sid)
        if (c == '/' || c < 0x20 || c == 0x7f)
            return false;
    return true;
}

// Another instance works for this session: send the browser back to the page
// it came from.
void answer_busy(const char *page_name, const char *sid, const char *lang)
{
    pid_file_path[0] = '\0';   // that pid file is the other instance's
    const char *uri = hdf_value("CGI.RequestURI", nullptr);
    const char *page = uri && std::strstr(uri, page_name) ? uri + 1 : page_name;
    redirect_error(sid, lang, "error_prog_busy", "%s", page);
}

} // namespace

int session_is_normal(const char *session_id)
{
    return std::strtoul(session_id, nullptr, 10) % 2 == 0 ? 1 : 0;
}

NEOERR *page_setup(int argc, char **argv, char **envp)
{
    cmd_file_path[0] = '\0';
    res_file_path[0] = '\0';
    pid_file_path[0] = '\0';
    std::atexit(scratch_cleanup);
    std::signal(SIGTERM, exit_on_signal);
    std::signal(SIGINT, exit_on_signal);
    std::signal(SIGABRT, exit_on_signal);
    // Templates are found relative to the web root; without it the render
    // reports the missing template.
    if (chdir("/var/www") != 0) {
    }
    cgi_debug_init(argc, argv);
    cgiwrap_init_std(argc, argv, envp);
    return cgi_init(&web_cgi, nullptr);
}

bool page_admit(const char *page_name, page_request *req)
{
    const char *lang = hdf_value("Query.lang", "cn");
    const char *sid = hdf_value("Query.sessionId", nullptr);
    if (!sid) {
        page_login_timeout("en", nullptr);
        return false;
    }
    if (!lang_is_valid(lang)) {
        redirect_error(sid, "en", "invalid_parameter", "%s", page_name);
        return false;
    }
    hdf_put("lang", lang);

    char user[USER_BUF_SIZE] = {};
    const char *client = hdf_value("CGI.RemoteAddress", "unknown");
    if (!session_id_is_safe(sid) || imi_check_session(sid, client, user) == 1) {
        page_login_timeout(lang, nullptr);
        return false;
    }
    std::snprintf(req->defquery, sizeof req->defquery, "sessionId=%s&lang=%s", sid, lang);
    hdf_put("sessionId", sid);
    hdf_put("defquerystr", req->defquery);
    hdf_put("privilege", session_is_normal(sid) ? "normal" : "limit");

    pid_path_build(sid, pid_file_path);
    if (pid_busy(pid_file_path)) {
        answer_busy(page_name, sid, lang);
        return false;
    }
    pid_write(pid_file_path);
    scratch_create(sid);
    // The query's values are replaced (and freed) when a POST body names
    // the same fields: keep the checked ones, which no body can reach.
    req->lang = std::string_view(lang) == "en" ? "en" : "cn";
    req->session_id = hdf_value("sessionId", "");
    return true;
}

int page_fail(NEOERR *err)
{
    cgi_neo_error(web_cgi, err);
    nerr_log_error(err);
    return -1;
}

int page_render(const char *template_name)
{
    // Every value a template shows is HTML-escaped, inside conditionals and
    // loops too (a template's own escape block does not reach into those).
    hdf_put("Config.VarEscapeMode", "html");
    hdf_put("cgiout.ContentType", "text/html; charset=utf-8");
    // The session id travels in the page's links: keep it out of Referer.
    hdf_put("cgiout.other.referrer", "Referrer-Policy: no-referrer");
    NEOERR *err = cgi_display(web_cgi, template_name);
    return err == STATUS_OK ? 0 : page_fail(err);
}
