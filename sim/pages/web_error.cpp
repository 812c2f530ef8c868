// web_error.cgi stand-in: the switch's shared error page. Shows an error id
// as a message and links back to the page the error came from.
#include "cgi_value.h"
#include "sibling_page.h"
#include "web_state.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// The ids that pages send; any other text (the CLI's own) is shown as it is.
constexpr std::string_view KNOWN_IDS[] = {
    "invalid_parameter", "error_prog_busy", "error_no_privilege", "error_too_many_entries",
    "configure_mode_inuse", "cli_unavailable", "cli_timeout", "cli_no_answer",
    "cli_refused", "cli_not_applied", "error_batch_too_large", "error_batch_unshown", "error_export_incomplete", "error_rows_over",
    "error_move_same_interface",
};

// Only a page of this interface: "name.cgi" and its query, no scheme, no
// host, no path.
bool is_local_page(std::string_view page)
{
    std::size_t q = page.find('?');
    std::string_view name = page.substr(0, q);
    if (name.size() <= 4 || !name.ends_with(".cgi"))
        return false;
    for (char c : name.substr(0, name.size() - 4))
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-')
            return false;
    return true;
}

} // namespace

int main(int argc, char **argv, char **envp)
{
    if (!sib_start(argc, argv, envp))
        return 1;
    const char *lang = sib_lang();
    const char *sid = cgi_value(web_cgi, "Query.sessionId", "");
    cgi_set(web_cgi, "sessionId", sid);

    // The CLI's replies carry a leading "%" and blanks; the ids are words.
    std::string_view errid = cgi_value(web_cgi, "Query.errid", "");
    std::string_view word = errid;
    while (!word.empty() && (word.front() == '%' || word.front() == ' '))
        word.remove_prefix(1);
    while (!word.empty() && std::isspace(static_cast<unsigned char>(word.back())))
        word.remove_suffix(1);
    bool known = false;
    for (std::string_view id : KNOWN_IDS)
        known = known || word == id;
    cgi_set(web_cgi, known ? "errid" : "errtext", std::string(known ? word : errid).c_str());

    std::string page = cgi_value(web_cgi, "Query.rdrpage", "");
    if (!is_local_page(page))
        page = "web_login.cgi";
    // A return page without its own query comes back into the same session.
    if (page.find('=') == std::string::npos) {
        if (page.back() != '?')
            page += '?';
        char *esc = nullptr;
        NEOERR *err = cgi_url_escape(sid, &esc);
        nerr_ignore(&err);
        page += std::string("sessionId=") + (esc ? esc : "") + "&lang=" + lang;
        std::free(esc);
    }
    cgi_set(web_cgi, "rdrpage", page.c_str());
    return sib_render("web_error.cs");
}
