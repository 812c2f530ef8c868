// web_mac_static.cgi: the listing page of the static MAC pages, showing the
// switch's static entries narrowed by the query's filters.
#include "mac_static.h"
#include "page_driver.h"
#include "web_state.h"

#include <ClearSilver.h>

#include <strings.h>

int main(int argc, char **argv, char **envp)
{
    if (NEOERR *err = page_setup(argc, argv, envp); err != STATUS_OK)
        return page_fail(err);
    page_request req;
    if (!page_admit("web_mac_static.cgi", &req))
        return 0;
    if (strcasecmp(page_value("CGI.RequestMethod", "GET"), "GET") != 0)
        return page_fail(STATUS_OK);
    intf_names_load();   // the interface filter offers the switch's ports
    mac_static_list();
    return page_render("web_mac_static.cs");
}
