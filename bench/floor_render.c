/* The floor of a page's GET: ClearSilver's own work for the same answer.
 * cgi_init from the same request, the page's values set one by one, and the
 * render of the same template.
 *   floor_render TEMPLATE
 * FLOOR_VALUES is the data set the page held when it rendered, compiled in
 * (bench/hdf_dump.py writes it), so that the floor pays for nothing else. */
#include <ClearSilver.h>

int main(int argc, char **argv, char **envp)
{
    CGI *cgi = NULL;
    NEOERR *err;
    if (argc != 2)
        return 2;
    cgiwrap_init_std(argc, argv, envp);
    if ((err = cgi_init(&cgi, NULL)) != STATUS_OK)
        goto fail;
    for (size_t i = 0; i < sizeof FLOOR_VALUES / sizeof FLOOR_VALUES[0]; ++i)
        if ((err = hdf_set_value(cgi->hdf, FLOOR_VALUES[i][0], FLOOR_VALUES[i][1])) != STATUS_OK)
            goto fail;
    if ((err = cgi_display(cgi, argv[1])) != STATUS_OK)
        goto fail;
    return 0;
fail:
    nerr_log_error(err);
    return 1;
}
