// web_mac_static_add.cgi: the page on which an operator adds a static entry
// to the switch's MAC address table. One process serves one request.
#include "audit_log.h"
#include "cgi_value.h"
#include "mac_add.h"
#include "mac_batch.h"
#include "mac_move.h"
#include "page_driver.h"
#include "page_frame.h"
#include "web_state.h"

#include <ClearSilver.h>

#include <cstdio>
#include <cstring>
#include <strings.h>

namespace {

constexpr char PAGE_NAME[] = "web_mac_static_add.cgi";
constexpr char TEMPLATE_NAME[] = "web_mac_static_add.cs";
// Where the error page sends the browser back to after a refused add.
constexpr char RETURN_PAGE[] = "web_mac_static_add.cgi?";

int serve_form(const page_request &req)
{
    // An edit link of the listing opens the form in move mode, for a
    // static entry the listing vouched for.
    if (*cgi_value(web_cgi, "Query.move", "") && session_is_normal(req.session_id) &&
        !mac_move_form(req.session_id)) {
        redirect_error(req.session_id, req.lang, INVALID_PARAMETER, "web_mac_static.cgi?%s", req.defquery);
        return 0;
    }
    // The browser holds a batch to the same limits before it is sent.
    char max[12], body_max[12];
    std::snprintf(max, sizeof max, "%d", MAC_BATCH_MAX);
    std::snprintf(body_max, sizeof body_max, "%lu", BATCH_BODY_MAX);
    if (!cgi_set(web_cgi, "batch_max", max) || !cgi_set(web_cgi, "batch_body_max", body_max))
        return page_fail_no_memory();
    intf_names_load();
    return page_render(TEMPLATE_NAME);
}

// A refused request: its record, and the error page, which leads back to the form.
int refuse(const page_request &req, const audit_who &who, const char *errid)
{
    audit_log(who, "add", nullptr, audit_result::refused, errid);
    redirect_error(req.session_id, req.lang, errid, RETURN_PAGE);
    return 0;
}

int serve_post(const page_request &req)
{
    // The forms send form-encoded text, a single add a few hundred bytes and
    // a batch at most 64 KiB; anything else is refused before a byte of it
    // is read or spooled.
    const audit_who who = {req.user, req.addr};
    // The add button is no authorisation: a limited session may not add,
    // and its body is not read at all.
    if (!session_is_normal(req.session_id))
        return refuse(req, who, "error_no_privilege");
    if (!page_body_acceptable(BATCH_BODY_MAX))
        return refuse(req, who, page_body_acceptable(1ul << 30) ? "error_batch_too_large" : "invalid_parameter");
    if (!page_read_form({FORM_FIELDS_MAX}))
        return refuse(req, who, "invalid_parameter");
    const char *operate = cgi_value(web_cgi, "Query.operate", "");
    // A refresh of the form's data: answer with the form itself.
    if (strcasecmp(operate, "config") == 0)
        return serve_form(req);
    bool batch = strcasecmp(operate, "add_many") == 0;
    // Only a batch may send more than a single add needs.
    if (!batch && !page_body_acceptable())
        return refuse(req, who, "invalid_parameter");
    if (strcasecmp(operate, "move") == 0) {
        int moved = mac_move(req.session_id, who, err_text);
        if (moved < 0)
            redirect_error(req.session_id, req.lang, err_text, "web_mac_static.cgi?%s", req.defquery);
        else if (moved > 0)
            redirect_to("web_mac_static.cgi?%s", req.defquery);
        else
            return page_render(TEMPLATE_NAME);
        return 0;
    }
    if (batch) {
        if (mac_batch_add(who, err_text) != 0) {
            redirect_error(req.session_id, req.lang, err_text, RETURN_PAGE);
            return 0;
        }
        return mac_batch_answer(req, RETURN_PAGE);
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
