/* The hello CGI: ClearSilver's init, a one-line render, and CHILDREN child
 * programs ("true") started and waited for, as a page runs its CLI
 * commands. The floor any page of this design stands on. */
#include <ClearSilver.h>

#include <spawn.h>
#include <sys/wait.h>

#ifndef CHILDREN
#error "CHILDREN: how many child programs a request starts"
#endif

extern char **environ;

int main(int argc, char **argv, char **envp)
{
    CGI *cgi = NULL;
    cgiwrap_init_std(argc, argv, envp);
    NEOERR *err = cgi_init(&cgi, NULL);
    for (int i = 0; err == STATUS_OK && i < CHILDREN; ++i) {
        char *child_argv[] = {"true", NULL};
        pid_t pid;
        int status;
        if (posix_spawnp(&pid, "true", NULL, NULL, child_argv, environ) != 0 ||
            waitpid(pid, &status, 0) != pid)
            return 1;
    }
    if (err == STATUS_OK)
        err = hdf_set_value(cgi->hdf, "name", "world");
    if (err == STATUS_OK)
        err = cgi_display(cgi, "hello.cs");
    if (err != STATUS_OK) {
        nerr_log_error(err);
        return 1;
    }
    return 0;
}
