// The steps every page program of the static MAC pages takes before its own
// work: clean-up and signals, ClearSilver, language, session, instance guard.
#pragma once

#include <cstddef>
#include <string_view>

struct _neo_err;

inline constexpr std::size_t DEFQUERY_SIZE = 512;
inline constexpr std::size_t USER_NAME_SIZE = 32;

// What a request that was let in carries on to the page's own work.
struct page_request {
    const char *lang = nullptr;         // "cn" or "en"
    const char *session_id = nullptr;   // accepted by IMI; HDF "sessionId"
    char defquery[DEFQUERY_SIZE] = {};  // "sessionId=%s&lang=%s"
    char user[USER_NAME_SIZE] = {};     // who holds the session, as IMI names them
    const char *addr = nullptr;         // the client's address
};

// The ClearSilver error page for values that could not be stored. Returns
// the exit status -1.
int page_fail_no_memory();

// true when text holds a control character: in a CLI command it would end
// the line and start another, in a header it would end the header.
bool has_control_char(std::string_view text);

// true when a POST's body is the form's own: application/x-www-form-urlencoded
// of at most max bytes (FORM_BODY_MAX unless a form says otherwise).
// Checked before the body is read.
inline constexpr unsigned long FORM_BODY_MAX = 4096;
bool page_body_acceptable(unsigned long max = FORM_BODY_MAX);

// What a form may hold: at most max_fields fields, each named once but for
// the one name that may repeat. The forms have fewer than FORM_FIELDS_MAX.
struct form_rules {
    int max_fields;
    const char *repeatable = nullptr;
};
inline constexpr int FORM_FIELDS_MAX = 16;

// Reads the POST body that page_body_acceptable let through (its
// CONTENT_LENGTH bytes) and stores each field as "Query.<name>"; a
// repeatable name given more than once stores its values as
// "Query.<name>.0", ".1", ... true when stored. false, with nothing stored,
// when the body is not a form the page sends: no CONTENT_LENGTH, fewer
// bytes than it claims, more fields than rules allow, a name that is not
// letters, digits and "_", one given twice that may not be, a NUL byte (raw
// or %00). Checked whole before a value is stored, in one pass over the
// body: no request costs more than its length. (false too when a value
// could not be stored; the page refuses the request all the same.)
bool page_read_form(const form_rules &rules);

// 1 when the session id's leading decimal digits are even (normal
// privilege), 0 when odd (limited privilege).
int session_is_normal(const char *session_id);

// Empties the path buffers, registers the clean-up, installs the signal
// handler, enters the web root and makes web_cgi. The cgi_init error, if any.
struct _neo_err *page_setup(int argc, char **argv, char **envp);

// Checks language and session, sets "lang", "sessionId", "defquerystr" and
// "privilege", takes the session's instance guard and makes the scratch
// files. true when the page goes on with req filled in; false when the
// request has been answered (login page or error redirect), exit status 0.
bool page_admit(const char *page_name, page_request *req);

// The ClearSilver error page for err, logged. Returns the exit status -1.
int page_fail(struct _neo_err *err);

// Renders the template for the browser. Exit status 0, or page_fail's.
int page_render(const char *template_name);

// page_render's work, leaving a failure to the caller: STATUS_OK, or the
// error with nothing written but what the output itself took.
struct _neo_err *page_display(const char *template_name);

// A page's own work on a request that was let in. Its exit status.
using page_work = int (*)(const page_request &req);

// The whole of a page program: setup, the admission of the request, then
// get or post by its method; any other method gets the ClearSilver error
// page. The exit status.
int page_run(int argc, char **argv, char **envp, const char *page_name, page_work get, page_work post);
