// Page frame: the per-session instance guard, the scratch files with their
// removal on every way out, and the answers that send the browser elsewhere.
#pragma once

#include <csignal>
#include <cstddef>
#include <initializer_list>

// The signals that end a request, in the order their handler is installed:
// it ends the running imish and removes the request's files.
inline constexpr int REQUEST_END_SIGNALS[] = {SIGTERM, SIGINT, SIGABRT};

// Blocks signals for its scope, then restores the mask it found. Without
// arguments, the request-ending ones: the handler never sees a path half
// recorded, nor a child half started or half reaped.
class signals_blocked {
public:
    signals_blocked();
    explicit signals_blocked(std::initializer_list<int> sigs);
    ~signals_blocked();
    signals_blocked(const signals_blocked &) = delete;
    signals_blocked &operator=(const signals_blocked &) = delete;

private:
    sigset_t saved_;
};

// Writes the running program's file name (the part after the last "/" of
// /proc/self/exe, else of argv[0]) into out, which holds PATH_BUF_SIZE bytes;
// empty when neither names it. Returns out.
char *self_exe_name(char *out);

// "/var/run/<program>_<session>.pid" into out (PATH_BUF_SIZE bytes), with
// fallback_name as the program when its own name cannot be found. Returns 0.
int pid_path_build(const char *session_id, char *out, const char *fallback_name = nullptr);

// Takes the session's instance guard: locks the pid file at path (made if
// missing) for the life of the process, writes this process's id into it and
// records it in pid_file_path. 0 when taken, 1 when another live instance
// holds it, -1 when the file cannot be made (nothing recorded).
int pid_lock(const char *path);

// 1 when path names a pid file of a live process, else 0.
int pid_busy(const char *path);

// Writes this process's id into path. 0, or -1 when it cannot be opened.
int pid_write(const char *path);

// Makes the command and result scratch files and records their paths.
// 0, or -1 (nothing recorded, nothing left behind).
int scratch_create(const char *session_id);

// Removes the command and result files and forgets their paths: once the
// answer is composed, nothing of the CLI's is needed any more.
void scratch_release();

// Exit handler: removes the command, result and pid files that are recorded.
void scratch_cleanup();

// Handler of SIGTERM, SIGINT and SIGABRT: end the running imish, clean up
// and end with status 0.
void exit_on_signal(int sig);

// Every answer that carries the session id, a credential, in its links or
// its location: no cache, shared or the browser's, keeps a copy of it.
inline constexpr char NO_STORE_HEADER[] = "Cache-Control: no-store";

// Writes a redirect to the location formatted from location_fmt, whose
// arguments the caller has checked or escaped (no line end):
// "Location: <location>\r\nCache-Control: no-store\r\n\r\n".
void redirect_to(const char *location_fmt, ...) __attribute__((format(printf, 1, 2)));

// Writes the redirect to web_error.cgi, as redirect_to does. The return page is formatted from
// page_fmt and its arguments. Writes nothing when a fixed argument is absent.
void redirect_error(const char *session_id, const char *lang, const char *err_id,
                    const char *page_fmt, ...) __attribute__((format(printf, 4, 5)));

// Writes the page that sends the parent window to web_login.cgi.
void page_login_timeout(const char *lang, const char *username);

// 0 when name is an acceptable user name, -1 otherwise.
int check_username(const char *name);
