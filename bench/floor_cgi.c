/* A floor CGI: ClearSilver doing a page's work alone, so that a page can be
 * measured beside it. cgi_init; the values of FLOOR_VALUES set one by one;
 * CHILDREN child programs ("true") started and waited for, as a page runs
 * its CLI commands; and the render of FLOOR_TEMPLATE.
 * Built as the hello CGI (one value and a one-line template) and as the
 * same-template floors, whose FLOOR_VALUES_H bench/run fills with a page's
 * own data set and template, taken from the page at its render
 * (bench/hdf_dump.py). */
#include <ClearSilver.h>

#include <spawn.h>
#include <sys/wait.h>

#ifdef FLOOR_VALUES_H
#include FLOOR_VALUES_H
#else
static const char *const FLOOR_VALUES[][2] = {{"name", "world"}};
#define FLOOR_TEMPLATE "hello.cs"
#endif
#ifndef CHILDREN
#define CHILDREN 0
#endif

extern char **environ;

int main(int argc, char **argv, char **envp)
{
    CGI *cgi = NULL;
    cgiwrap_init_std(argc, argv, envp);
    NEOERR *err = cgi_init(&cgi, NULL);
    for (size_t i = 0; err == STATUS_OK && i < sizeof FLOOR_VALUES / sizeof FLOOR_VALUES[0]; ++i)
        err = hdf_set_value(cgi->hdf, FLOOR_VALUES[i][0], FLOOR_VALUES[i][1]);
    for (int i = 0; err == STATUS_OK && i < CHILDREN; ++i) {
        char *child_argv[] = {"true", NULL};
        pid_t pid;
        int status;
        if (posix_spawnp(&pid, "true", NULL, NULL, child_argv, environ) != 0 ||
            waitpid(pid, &status, 0) != pid)
            return 1;
    }
    if (err == STATUS_OK)
        err = cgi_display(cgi, FLOOR_TEMPLATE);
    if (err != STATUS_OK) {
        nerr_log_error(err);
        return 1;
    }
    return 0;
}
