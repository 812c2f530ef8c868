// web_mac_static.cgi: the listing page of the static MAC pages, showing the
// switch's static entries (or its learned ones, or both) narrowed by the
// query's filters, sorted and paged; removing the static entries a
// full-privilege operator selects there, or making learned ones static.
#include "audit_log.h"
#include "cgi_value.h"
#include "mac_list.h"
#include "mac_batch.h"
#include "mac_list_view.h"
#include "mac_pin.h"
#include "mac_remove.h"
#include "page_driver.h"
#include "page_frame.h"
#include "web_state.h"

#include <ClearSilver.h>

#include <cstdio>
#include <string_view>
#include <strings.h>

namespace {

constexpr char PAGE_NAME[] = "web_mac_static.cgi";
constexpr char TEMPLATE_NAME[] = "web_mac_static.cs";
// The listing's own query: its filters, and its view.
constexpr std::size_t LIST_QUERY_SIZE = 1024;

// The listing's query as the URL gives it, read before a body is parsed:
// the filters alone into filters, with the view's tail into whole.
struct list_queries {
    list_view view = list_view_read();
    char filters[LIST_QUERY_SIZE];
    char whole[LIST_QUERY_SIZE + LIST_VIEW_QUERY_SIZE];

    explicit list_queries(const page_request &req)
    {
        mac_list_query(req.defquery, filters, sizeof filters);
        char tail[LIST_VIEW_QUERY_SIZE];
        list_view_query(view, true, tail);
        std::snprintf(whole, sizeof whole, "%s%s", filters, tail);
    }
};

int serve_list(const page_request &req)
{
    list_queries q(req);
    // A removal's count, as its redirect gave it: digits only, a page's worth.
    std::string_view removed = cgi_value(web_cgi, "Query.removed", "");
    if (!removed.empty() && removed.size() <= 3 &&
        removed.find_first_not_of("0123456789") == std::string_view::npos &&
        !cgi_set(web_cgi, "removed", cgi_value(web_cgi, "Query.removed", "")))
        return page_fail_no_memory();
    if (std::string_view(cgi_value(web_cgi, "Query.format", "")) == "csv") {
        const char *errid;
        if (mac_list_export(q.view, &errid) != 0)
            redirect_error(req.session_id, req.lang, errid, "%s?%s", PAGE_NAME, q.whole);
        return 0;
    }
    // The browser stops a larger selection before it is sent.
    char max[8];
    std::snprintf(max, sizeof max, "%d", MAC_DELETE_MAX);
    if (!cgi_set(web_cgi, "listquery", q.whole) || !cgi_set(web_cgi, "filterquery", q.filters) ||
        !cgi_set(web_cgi, "delete_max", max))
        return page_fail_no_memory();
    // Only a session that may change the table gets the rows' vouchers.
    mac_list_view_load(q.view, q.filters, session_is_normal(req.session_id) ? req.session_id : nullptr);
    return page_render(TEMPLATE_NAME);
}

// What a full-privilege operator does with the rows selected: removes
// static entries, or makes learned ones static. A removal returns to the
// view it was made from: the same filters, sort and page size, and the same
// page (the last one, should it be gone); a pin answers as a list does.
int serve_post(const page_request &req)
{
    list_queries q(req);
    const audit_who who = {req.user, req.addr};
    auto answer_error = [&](const char *errid) {
        redirect_error(req.session_id, req.lang, errid, "%s?%s", PAGE_NAME, q.whole);
        return 0;
    };
    auto refuse = [&](const char *action, const char *errid) {
        audit_log(who, action, nullptr, audit_result::refused, errid);
        return answer_error(errid);
    };
    // A limited session's body is not read at all.
    if (!session_is_normal(req.session_id))
        return refuse("remove", "error_no_privilege");
    if (!page_body_acceptable(REMOVAL_BODY_MAX) || !page_read_form({FORM_FIELDS_MAX + MAC_DELETE_MAX, "sel"}))
        return refuse("remove", "invalid_parameter");
    const char *operate = cgi_value(web_cgi, "Query.operate", "");
    if (strcasecmp(operate, "pin") == 0) {
        if (mac_pin(req.session_id, who, err_text) != 0)
            return answer_error(err_text);
        char back[LIST_QUERY_SIZE + LIST_VIEW_QUERY_SIZE + sizeof PAGE_NAME + 1];
        std::snprintf(back, sizeof back, "%s?%s", PAGE_NAME, q.whole);
        return mac_batch_answer(req, back);
    }
    if (strcasecmp(operate, "delete") != 0)
        return refuse("remove", "invalid_parameter");
    // It records each entry's outcome, or its refusal.
    int removed = mac_static_delete(err_text, who);
    if (removed < 0)
        return answer_error(err_text);
    // The view, and how many entries went, for the listing to say.
    redirect_to("%s?%s&removed=%d", PAGE_NAME, q.whole, removed);
    return 0;
}

} // namespace

int main(int argc, char **argv, char **envp)
{
    return page_run(argc, argv, envp, PAGE_NAME, serve_list, serve_post);
}
