// Entry steps shared by the page programs.
#include "page_driver.h"

#include "cgi_value.h"
#include "imi_client.h"
#include "page_frame.h"
#include "web_state.h"

#include <ClearSilver.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <strings.h>
#include <unistd.h>

namespace {

constexpr std::string_view FORM_TYPE = "application/x-www-form-urlencoded";
// The longest field name a form's key takes whole.
constexpr std::ptrdiff_t FORM_NAME_MAX = 32;

bool lang_is_valid(std::string_view lang)
{
    return lang == "cn" || lang == "en";
}

// A session id becomes part of a file name under /var/run: one that could
// leave that directory, or end a header line, is no session at all. Nor is
// one longer than IMI compares: its tail would name another pid file and
// other links than the session IMI accepted.
bool session_id_is_safe(std::string_view sid)
{
    return sid.size() < IMI_NAME_LEN && sid.find('/') == std::string_view::npos &&
           !has_control_char(sid);
}

// Another instance works for this session: send the browser back to the page
// it came from.
void answer_busy(const char *page_name, const char *sid, const char *lang)
{
    const char *uri = cgi_value(web_cgi, "CGI.RequestURI", nullptr);
    const char *page = uri && std::strstr(uri, page_name) ? uri + 1 : page_name;
    redirect_error(sid, lang, "error_prog_busy", "%s", page);
}

// Takes the session's instance guard. false when another instance holds it
// (the browser is sent back, busy).
bool take_guard(const char *page_name, const char *sid, const char *lang)
{
    char pid_path[PATH_BUF_SIZE];
    pid_path_build(sid, pid_path, page_name);
    switch (pid_lock(pid_path)) {
    case 0:
        return true;
    case 1:
        answer_busy(page_name, sid, lang);
        return false;
    default:
        // A pid file that cannot be made (/var/run not writable) leaves the
        // request unguarded rather than refused: it still works alone.
        return true;
    }
}

} // namespace

int page_fail_no_memory()
{
    return page_fail(nerr_raise(NERR_NOMEM, "the request's values could not be stored"));
}

bool has_control_char(std::string_view text)
{
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7f)
            return true;
    return false;
}

bool page_body_acceptable(unsigned long max)
{
    std::string_view type = cgi_value(web_cgi, "CGI.ContentType", "");
    type = type.substr(0, type.find(';'));
    while (!type.empty() && type.back() == ' ')
        type.remove_suffix(1);
    if (type.size() != FORM_TYPE.size() ||
        strncasecmp(type.data(), FORM_TYPE.data(), FORM_TYPE.size()) != 0)
        return false;
    std::string_view length = cgi_value(web_cgi, "CGI.ContentLength", "0");
    unsigned long n = 0;
    for (char c : length) {
        if (c < '0' || c > '9')
            return false;
        n = n * 10 + static_cast<unsigned long>(c - '0');
        if (n > max)
            return false;
    }
    return true;
}

namespace {

bool is_name_char(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// The body, CONTENT_LENGTH bytes of standard input, NUL-terminated in its
// own allocation; null when the length is absent or the input ends short.
std::unique_ptr<char, decltype(&std::free)> read_body(std::size_t *len)
{
    std::unique_ptr<char, decltype(&std::free)> body(nullptr, &std::free);
    const char *length = cgi_value(web_cgi, "CGI.ContentLength");
    if (!length || !*length)
        return body;
    // page_body_acceptable checked it: digits, within the page's bound.
    *len = std::strtoul(length, nullptr, 10);
    body.reset(static_cast<char *>(std::malloc(*len + 1)));
    std::size_t got = 0;
    while (body && got < *len) {
        ssize_t n = read(STDIN_FILENO, body.get() + got, *len - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            body.reset();
        else
            got += static_cast<std::size_t>(n);
    }
    if (body)
        body.get()[*len] = '\0';
    return body;
}

} // namespace

bool page_read_form(const form_rules &rules)
{
    std::size_t len = 0;
    auto body = read_body(&len);
    if (!body)
        return false;
    char *text = body.get();
    // A NUL would end a value early and hide what follows it.
    if (std::memchr(text, '\0', len) || std::strstr(text, "%00"))
        return false;
    // One pass: each field cut out in place, its name checked against the
    // names before it; nothing stored until the whole body is taken.
    constexpr int FIELDS_ROOM = 256;
    char *names[FIELDS_ROOM], *values[FIELDS_ROOM];
    int fields = 0, repeated = 0;
    const int max = rules.max_fields < FIELDS_ROOM ? rules.max_fields : FIELDS_ROOM;
    for (char *field = text; field;) {
        char *next = std::strchr(field, '&');
        if (next)
            *next++ = '\0';
        char *eq = std::strchr(field, '=');
        if (eq)
            *eq = '\0';
        char *value = eq ? eq + 1 : field + std::strlen(field);
        if (*field != '\0' || eq) {
            const char *name_end = eq ? eq : value;
            if (fields == max || *field == '\0' || name_end - field > FORM_NAME_MAX ||
                !std::all_of(static_cast<const char *>(field), name_end, is_name_char))
                return false;
            bool repeatable = rules.repeatable && std::strcmp(field, rules.repeatable) == 0;
            for (int i = 0; i < fields && !repeatable; ++i)
                if (std::strcmp(names[i], field) == 0)
                    return false;
            repeated += repeatable;
            names[fields] = field;
            values[fields++] = value;
        }
        field = next;
    }
    // A name given more than once: its values as children, in their order.
    int index = 0;
    for (int i = 0; i < fields; ++i) {
        cgi_url_unescape(values[i]);
        char key[FORM_NAME_MAX + 20];
        if (repeated > 1 && std::strcmp(names[i], rules.repeatable) == 0)
            std::snprintf(key, sizeof key, "Query.%s.%d", names[i], index++);
        else
            std::snprintf(key, sizeof key, "Query.%s", names[i]);
        if (!cgi_set(web_cgi, key, values[i]))
            return false;
    }
    return true;
}

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
    for (int sig : REQUEST_END_SIGNALS)
        std::signal(sig, exit_on_signal);
    // A client that has gone makes the answer's write fail, not end the
    // process before its clean-up.
    std::signal(SIGPIPE, SIG_IGN);
    // Templates are found relative to the web root; without it the render
    // reports the missing template.
    if (chdir("/var/www") != 0) {
    }
    // The library's debug hook reads argv[1] as a file of variables; a web
    // server may pass an ISINDEX query there. Only a run by hand gets it.
    if (!std::getenv("GATEWAY_INTERFACE"))
        cgi_debug_init(argc, argv);
    cgiwrap_init_std(argc, argv, envp);
    return cgi_init(&web_cgi, nullptr);
}

bool page_admit(const char *page_name, page_request *req)
{
    const char *lang = cgi_value(web_cgi, "Query.lang", "cn");
    const char *sid = cgi_value(web_cgi, "Query.sessionId", nullptr);
    if (!sid) {
        page_login_timeout("en", nullptr);
        return false;
    }
    if (!lang_is_valid(lang)) {
        redirect_error(sid, "en", "invalid_parameter", "%s", page_name);
        return false;
    }
    const char *client = cgi_value(web_cgi, "CGI.RemoteAddress", "unknown");
    if (!session_id_is_safe(sid) || imi_check_session(sid, client, req->user) != 0) {
        page_login_timeout(lang, nullptr);
        return false;
    }
    std::snprintf(req->defquery, sizeof req->defquery, "sessionId=%s&lang=%s", sid, lang);
    // The privilege and the session are read back from here: a value that
    // could not be stored must not leave a default in its place.
    if (!cgi_set(web_cgi, "lang", lang) || !cgi_set(web_cgi, "sessionId", sid) ||
        !cgi_set(web_cgi, "defquerystr", req->defquery) ||
        !cgi_set(web_cgi, "privilege", session_is_normal(sid) ? "normal" : "limit")) {
        page_fail_no_memory();
        return false;
    }
    if (!take_guard(page_name, sid, lang))
        return false;
    // No scratch files: every CLI step of the request then reports that it
    // could not run ("%cli_unavailable", "cli_failed"), nothing more.
    [[maybe_unused]] int no_scratch = scratch_create(sid);
    // The query's values are replaced (and freed) when a POST body names
    // the same fields: keep the checked ones, which no body can reach.
    req->lang = std::string_view(lang) == "en" ? "en" : "cn";
    req->session_id = cgi_value(web_cgi, "sessionId", "");
    req->addr = client;
    return true;
}

int page_fail(NEOERR *err)
{
    cgi_neo_error(web_cgi, err);
    nerr_log_error(err);
    nerr_ignore(&err);
    return -1;
}

NEOERR *page_display(const char *template_name)
{
    // Every value a template shows is HTML-escaped, inside conditionals and
    // loops too (a template's own escape block does not reach into those).
    // The session id travels in the page's links: keep it out of Referer
    // and out of caches. Only the switch's own frames may hold the page.
    if (!cgi_set(web_cgi, "Config.VarEscapeMode", "html") ||
        !cgi_set(web_cgi, "cgiout.ContentType", "text/html; charset=utf-8") ||
        !cgi_set(web_cgi, "cgiout.other.referrer", "Referrer-Policy: no-referrer") ||
        !cgi_set(web_cgi, "cgiout.other.cache", NO_STORE_HEADER) ||
        !cgi_set(web_cgi, "cgiout.other.frames", "Content-Security-Policy: frame-ancestors 'self'"))
        return nerr_raise(NERR_NOMEM, "the page's values could not be stored");
    // Everything the CLI said is in the data set by now; should the client
    // be gone, nothing of the request waits on the answer's write.
    scratch_release();
    return cgi_display(web_cgi, template_name);
}

int page_render(const char *template_name)
{
    NEOERR *err = page_display(template_name);
    return err == STATUS_OK ? 0 : page_fail(err);
}

int page_run(int argc, char **argv, char **envp, const char *page_name, page_work get, page_work post)
{
    if (NEOERR *err = page_setup(argc, argv, envp); err != STATUS_OK)
        return page_fail(err);
    page_request req;
    if (!page_admit(page_name, &req))
        return 0;
    const char *method = cgi_value(web_cgi, "CGI.RequestMethod", "GET");
    if (strcasecmp(method, "POST") == 0)
        return post(req);
    if (strcasecmp(method, "GET") == 0)
        return get(req);
    return page_fail(STATUS_OK);
}
