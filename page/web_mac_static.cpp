// web_mac_static.cgi: the listing page of the static MAC pages, showing the
// switch's static entries narrowed by the query's filters, and removing the
// entries a full-privilege operator selects there.
#include "audit_log.h"
#include "cgi_value.h"
#include "cli_runner.h"
#include "mac_static.h"
#include "page_driver.h"
#include "page_frame.h"
#include "web_state.h"

#include <ClearSilver.h>

#include <cstdio>
#include <strings.h>

namespace {

constexpr char PAGE_NAME[] = "web_mac_static.cgi";
constexpr char TEMPLATE_NAME[] = "web_mac_static.cs";
// The listing's own query with its filters: where a removal returns to.
constexpr std::size_t LIST_QUERY_SIZE = 1024;

int serve_delete(const page_request &req, const char *list_query)
{
    const audit_who who = {req.user, req.addr};
    auto answer_error = [&](const char *errid) {
        redirect_error(req.session_id, req.lang, errid, "%s?%s", PAGE_NAME, list_query);
        return 0;
    };
    auto refuse = [&](const char *errid) {
        audit_log(who, "remove", nullptr, audit_result::refused, errid);
        return answer_error(errid);
    };
    if (!page_body_acceptable())
        return refuse("invalid_parameter");
    if (NEOERR *err = page_parse_body(); err != STATUS_OK)
        return page_fail(err);
    if (strcasecmp(cgi_value(web_cgi, "Query.operate", ""), "delete") != 0)
        return refuse("invalid_parameter");
    if (!session_is_normal(req.session_id))
        return refuse("error_no_privilege");
    if (int rc = intf_names_load(); rc != 0) {
        // No names to check the interfaces against: nothing was sent.
        audit_log(who, "remove", nullptr, audit_result::failed, cli_failure_text(rc) + 1);
        return answer_error(cli_failure_text(rc));
    }
    // It records each entry's outcome, or its refusal.
    if (mac_static_delete(err_text, who) != 0)
        return answer_error(err_text);
    redirect_to("%s?%s", PAGE_NAME, list_query);
    return 0;
}

} // namespace

int main(int argc, char **argv, char **envp)
{
    if (NEOERR *err = page_setup(argc, argv, envp); err != STATUS_OK)
        return page_fail(err);
    page_request req;
    if (!page_admit(PAGE_NAME, &req))
        return 0;
    // Taken before a body is parsed: the filters are the URL's.
    char list_query[LIST_QUERY_SIZE];
    mac_list_query(req.defquery, list_query, sizeof list_query);

    const char *method = cgi_value(web_cgi, "CGI.RequestMethod", "GET");
    if (strcasecmp(method, "POST") == 0)
        return serve_delete(req, list_query);
    if (strcasecmp(method, "GET") != 0)
        return page_fail(STATUS_OK);
    // The browser stops a larger selection before it is sent.
    char max[8];
    std::snprintf(max, sizeof max, "%d", MAC_DELETE_MAX);
    if (!cgi_set(web_cgi, "listquery", list_query) || !cgi_set(web_cgi, "delete_max", max))
        return page_fail_no_memory();
    intf_names_load();   // the interface filter offers the switch's ports
    mac_static_list();
    return page_render(TEMPLATE_NAME);
}
