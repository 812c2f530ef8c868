// The listing page's view of the table, its static entries (as by default),
// its learned ones or both: the whole of that kind from one CLI run,
// narrowed by the query's filters, sorted and paged.
#pragma once

#include <cstddef>

// How the rows are ordered: as the CLI gives them, or by one column (ties
// by VLAN, then MAC).
enum class list_sort { cli, mac, vlan, intf };

inline constexpr int LIST_PER_PAGE_DEFAULT = 50;
inline constexpr int LIST_PER_PAGE_CHOICES[] = {25, 50, 100, 200};
// The most rows a view holds, in its one table of fixed size: a learned
// table of a switch of this class. Past it the page says so and lists none.
inline constexpr int LIST_ROWS_MAX = 16384;
// A view's query tail, "&sort=intf&order=desc&per_page=200&page=" and a page.
inline constexpr std::size_t LIST_VIEW_QUERY_SIZE = 64;

struct list_view {
    list_sort sort = list_sort::cli;
    bool desc = false;   // the whole order reversed; no effect without a sort
    int per_page = LIST_PER_PAGE_DEFAULT;
    int page = 1;        // as asked for; past the last page, the last is shown
};

// The view the query asks for: "sort" (mac, vlan, intf), "order" (asc,
// desc), "per_page" (one of LIST_PER_PAGE_CHOICES) and "page" (a decimal
// number from 1; a larger one than any is taken as the last page). Any
// other value gives that part's default: no sort, asc, 50, page 1.
list_view list_view_read();

// The view as a query's tail, "&sort=..&order=..&per_page=..[&page=..]",
// into out (LIST_VIEW_QUERY_SIZE bytes): fixed words and numbers only, so
// nothing in it needs escaping. No "sort" part when the CLI's order is kept.
void list_view_query(const list_view &v, bool with_page, char *out);

// Runs the one show command of the kind of entries the query's "type" asks
// for (static, dynamic or all; static when empty) and stores from its
// answer the interfaces its rows name, in port order, as the filter's
// choices ("eth.%d.name", "agg.%d.name", under one numbering), then
// "ports_listed"; the rows that pass the query's filters (MAC groups, VLAN,
// interface), the view's page of them as "entry.<row number>.*", the row
// number counting through the whole view; the view as "view.*" (count,
// first, last, page, pages, per_page, sort, order, and the links' queries
// after filterquery); then "entries_listed". A filter not in its grammar
// runs nothing: "filter_invalid" and "filter_invalid.<field>". When the run
// did not complete, its answer is not the whole table, or a value could
// not be stored: "cli_failed" and nothing listed. More rows than
// LIST_ROWS_MAX pass the filters: "rows_over" and no rows. With a session
// (one that may change the table), each row shown gets its voucher
// ("entry.<n>.vouch", see mac_vouch.h). Returns 0.
int mac_list_view_load(const list_view &v, const char *filterquery, const char *session);

// The second half of mac_list_view_load: takes the result file as the
// answer of the listing's run, and stores what it gives. Returns 0.
int mac_list_view_take(const list_view &v, const char *filterquery, const char *session = nullptr);

// The export of the view: every row that passes the query's filters, in the
// view's order, across all pages, as text/csv on standard output with its
// header block (an attachment, "static-mac-table.csv", or "dynamic-" or
// "all-" for the other kinds): "mac,vlan,interface",
// then a line per row in the form the add page takes back, CRLF line ends.
// One CLI run. 0 when written; -1 with nothing written and the error id in
// *errid when a filter is not in its grammar ("invalid_parameter"), the
// run's answer was not the whole table ("error_export_incomplete") or more
// rows than LIST_ROWS_MAX pass ("error_rows_over").
int mac_list_export(const list_view &v, const char **errid);
