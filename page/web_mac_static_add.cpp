// web_mac_static_add.cgi: the page on which an operator adds a static entry
// to the switch's MAC address table. One process serves one request.
#include "audit_log.h"
#include "cgi_value.h"
#include "mac_add.h"
#include "page_driver.h"
#include "page_frame.h"
#include "web_state.h"

#include <ClearSilver.h>

#include <strings.h>

namespace {

constexpr char PAGE_NAME[] = "web_mac_static_add.cgi";
constexpr char TEMPLATE_NAME[] = "web_mac_static_add.cs";
// Where the error page sends the browser back to after a refused add.
constexpr char RETURN_PAGE[] = "web_mac_static_add.cgi?";

int serve_form(const page_request &)
{
    intf_names_load();
    return page_render(TEMPLATE_NAME);
}

int serve_post(const page_request &req)
{
    // The form sends a few hundred bytes, form-encoded; anything else is
    // refused before a byte of it is read or spooled.
    const audit_who who = {req.user, req.addr};
    if (!page_body_acceptable()) {
        audit_log(who, "add", nullptr, audit_result::refused, "invalid_parameter");
        redirect_error(req.session_id, req.lang, "invalid_parameter", RETURN_PAGE);
        return 0;
    }
    if (NEOERR *err = page_parse_body(); err != STATUS_OK)
        return page_fail(err);
    // A refresh of the form's data: answer with the form itself.
    if (strcasecmp(cgi_value(web_cgi, "Query.operate", ""), "config") == 0)
        return serve_form(req);
    // The add button is no authorisation: a limited session may not add.
    if (!session_is_normal(req.session_id)) {
        audit_log(who, "add", nullptr, audit_result::refused, "error_no_privilege");
        redirect_error(req.session_id, req.lang, "error_no_privilege", RETURN_PAGE);
        return 0;
    }
    // The add button's field is not required: every other POST adds.
    if (mac_static_add_logged(err_text, who) == 0) {
        redirect_to("web_mac_static.cgi?%s", req.defquery);
        return 0;
    }
    redirect_error(req.session_id, req.lang, err_text, RETURN_PAGE);
    return 0;
}

} // namespace

int main(int argc, char **argv, char **envp)
{
    return page_run(argc, argv, envp, PAGE_NAME, serve_form, serve_post);
}
