// The add page's own work: the form's port names and the add of one static
// entry, with its audit record.
#pragma once

struct audit_who;

// Asks the CLI for its switch ports and stores their names for the form,
// then "ports_listed". 0, or the CLI runner's failure (or -1 when a name
// could not be stored) after setting "cli_failed": no names are kept from a
// run whose answer was not taken in whole.
int intf_names_load();

// Line handler of "show interface switchport": a name line (" Interface...:
// <name>") sets "ifname" and one "eth.%d.name" or "agg.%d.name". 0, or -1
// when a value could not be stored.
int intf_line_parse(int *counter, const char *line);

// Stores name under "eth.<num>.name" or "agg.<num>.name" by its first
// letter (num written as "%d" writes it, a negative one with its sign);
// other names are not stored. 0, or -1 when it could not be stored.
int intf_name_store(int num, const char *name);

// Adds the posted static entry through the CLI. 0 when it was accepted or
// not attempted (a field is missing); -1 with the reason in err
// (CLI_ERROR_SIZE bytes): the CLI's error text, a failed run's text
// (cli_failure_text; "%cli_no_answer" too when the run's answer cannot be
// read), or "invalid_parameter" for a command that does not fit its buffer
// or holds a control character (then nothing runs).
int mac_static_add(char *err);

// mac_static_add, and one audit record of the entry once its outcome is
// known; a refusal with no entry for "invalid_parameter", a field missing
// included (which still returns 0).
int mac_static_add_logged(char *err, const audit_who &who);
