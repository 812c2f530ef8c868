// web_mac_static.cgi: the listing page of the static MAC pages, showing the
// switch's static entries narrowed by the query's filters, and removing the
// entries a full-privilege operator selects there.
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
    if (!page_body_acceptable()) {
        redirect_error(req.session_id, req.lang, "invalid_parameter", "%s?%s", PAGE_NAME, list_query);
        return 0;
    }
    if (NEOERR *err = page_parse_body(); err != STATUS_OK)
        return page_fail(err);
    const char *errid = nullptr;
    if (strcasecmp(cgi_value(web_cgi, "Query.operate", ""), "delete") != 0)
        errid = "invalid_parameter";
    else if (!session_is_normal(req.session_id))
        errid = "error_no_privilege";
    else if (int rc = intf_names_load(); rc != 0)
        errid = cli_failure_text(rc);   // no names to check the interfaces against
    else if (mac_static_delete(err_text) != 0)
        errid = err_text;
    if (errid) {
        redirect_error(req.session_id, req.lang, errid, "%s?%s", PAGE_NAME, list_query);
        return 0;
    }
    std::printf("Location: %s?%s\r\n\r\n", PAGE_NAME, list_query);
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
    cgi_set(web_cgi, "listquery", list_query);
    // The browser stops a larger selection before it is sent.
    char max[8];
    std::snprintf(max, sizeof max, "%d", MAC_DELETE_MAX);
    cgi_set(web_cgi, "delete_max", max);
    intf_names_load();   // the interface filter offers the switch's ports
    mac_static_list();
    return page_render(TEMPLATE_NAME);
}
