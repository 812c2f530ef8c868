/* A same-template floor's data set until bench/run writes the page's own in
 * its place: the hello floor's value and template, so that the floors build
 * (and keep building under -Werror) with everything else. */
static const char *const FLOOR_VALUES[][2] = {{"name", "world"}};
#define FLOOR_TEMPLATE "hello.cs"
