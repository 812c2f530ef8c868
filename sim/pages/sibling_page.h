// Small helpers shared by the stand-ins of the switch's sibling pages. The
// stand-ins show what they could store: a value left out for want of memory
// shows as missing, which is all a stand-in owes.
#pragma once

#include <ClearSilver.h>

// "cn" or "en" from Query.lang (anything else is "en"), also set as "lang".
const char *sib_lang();
// Renders the template with the page headers; the exit status.
int sib_render(const char *template_name);
// cgi_init after the common set-up; false when the error page was written.
bool sib_start(int argc, char **argv, char **envp);
