// web_mac_static_add.cgi: the page on which an operator adds a static entry
// to the switch's MAC address table. One process serves one request.
#include "cli_runner.h"
#include "imi_client.h"
#include "mac_static.h"
#include "page_frame.h"
#include "web_state.h"

#include <ClearSilver.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <strings.h>
#include <unistd.h>

int session_is_normal(const char *session_id);

namespace {

constexpr char PAGE_NAME[] = "web_mac_static_add.cgi";
constexpr char TEMPLATE_NAME[] = "web_mac_static_add.cs";
constexpr std::size_t USER_BUF_SIZE = 32;
constexpr std::size_t QUERY_STR_SIZE = 512;

const char *hdf_value(const char *key, const char *def)
{
    return hdf_get_value(web_cgi->hdf, key, def);
}

void hdf_put(const char *key, const char *value)
{
    NEOERR *err = hdf_set_value(web_cgi->hdf, key, value);
    nerr_ignore(&err);
}

// The ClearSilver error page, logged. Exit status 255.
int fail(NEOERR *err)
{
    cgi_neo_error(web_cgi, err);
    nerr_log_error(err);
    return -1;
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
int answer_busy(const char *sid, const char *lang)
{
    pid_file_path[0] = '\0';   // that pid file is the other instance's
    const char *uri = hdf_value("CGI.RequestURI", nullptr);
    const char *page = uri && std::strstr(uri, PAGE_NAME) ? uri + 1 : PAGE_NAME;
    redirect_error(sid, lang, "error_prog_busy", "%s", page);
    return 0;
}

int serve_post(const char *sid, const char *lang, const char *defquery)
{
    if (NEOERR *err = cgi_parse(web_cgi); err != STATUS_OK)
        return fail(err);
    if (strcasecmp(hdf_value("Query.operate", ""), "config") == 0) {
        // A refresh of the form's data: answer with the form itself.
        intf_names_load();
        NEOERR *err = cgi_display(web_cgi, TEMPLATE_NAME);
        return err == STATUS_OK ? 0 : fail(err);
    }
    // The add button is no authorisation: a limited session may not add.
    if (!session_is_normal(sid)) {
        redirect_error(sid, lang, "error_no_privilege", "web_mac_static_add.cgi?");
        return 0;
    }
    // The add button's field is not required: every other POST adds.
    if (mac_static_add(err_text) == 0) {
        std::printf("Location: web_mac_static.cgi?%s\r\n\r\n", defquery);
        return 0;
    }
    redirect_error(sid, lang, err_text, "web_mac_static_add.cgi?");
    return 0;
}

int serve_request()
{
    const char *lang = hdf_value("Query.lang", "cn");
    const char *sid = hdf_value("Query.sessionId", nullptr);
    if (!sid) {
        page_login_timeout("en", nullptr);
        return 0;
    }
    if (!lang_is_valid(lang)) {
        redirect_error(sid, "en", "invalid_parameter", "%s", PAGE_NAME);
        return 0;
    }
    hdf_put("lang", lang);

    char user[USER_BUF_SIZE] = {};
    const char *client = hdf_value("CGI.RemoteAddress", "unknown");
    if (!session_id_is_safe(sid) || imi_check_session(sid, client, user) == 1) {
        page_login_timeout(lang, nullptr);
        return 0;
    }
    char defquery[QUERY_STR_SIZE];
    std::snprintf(defquery, sizeof defquery, "sessionId=%s&lang=%s", sid, lang);
    hdf_put("sessionId", sid);
    hdf_put("defquerystr", defquery);
    hdf_put("privilege", session_is_normal(sid) ? "normal" : "limit");

    pid_path_build(sid, pid_file_path);
    if (pid_busy(pid_file_path))
        return answer_busy(sid, lang);
    pid_write(pid_file_path);
    scratch_create(sid);

    const char *method = hdf_value("CGI.RequestMethod", "GET");
    if (strcasecmp(method, "POST") == 0)
        return serve_post(sid, lang, defquery);
    if (strcasecmp(method, "GET") == 0) {
        intf_names_load();
        NEOERR *err = cgi_display(web_cgi, TEMPLATE_NAME);
        return err == STATUS_OK ? 0 : fail(err);
    }
    return fail(STATUS_OK);
}

} // namespace

// 1 when the session id (its leading decimal digits) is even: a session of
// normal privilege; 0 when odd: limited privilege.
int session_is_normal(const char *session_id)
{
    return std::strtoul(session_id, nullptr, 10) % 2 == 0 ? 1 : 0;
}

int main(int argc, char **argv, char **envp)
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
    if (NEOERR *err = cgi_init(&web_cgi, nullptr); err != STATUS_OK)
        return fail(err);
    return serve_request();
}
