// A POST's form as the pages read it: whatever the bytes, a body is taken
// only when every field's name is a form's kind and none repeats but the
// one that may, a NUL never reaches a value, and the fields stored stay
// within the bound. The first byte picks the add page's rules or the
// removal's, and whether the length claimed is the body's own.
#include "fuzz_util.h"
#include "page_driver.h"
#include "web_state.h"

#include <ClearSilver.h>

namespace {

constexpr char BODY_PATH[] = "/tmp/fuzz_form_body";

int children(HDF *node)
{
    int n = 0;
    for (HDF *c = node ? hdf_obj_child(node) : nullptr; c; c = hdf_obj_next(c))
        n += 1 + children(c);
    return n;
}

} // namespace

FUZZ_TARGET(1, 8192)
{
    const std::uint8_t pick = data[0];
    const std::string body(reinterpret_cast<const char *>(data + 1), size - 1);
    fuzz_write_file(BODY_PATH, data + 1, size - 1);
    FUZZ_CHECK(std::freopen(BODY_PATH, "rb", stdin) && ::fileno(stdin) == STDIN_FILENO);   // the page reads fd 0
    FUZZ_CHECK(cgi_init(&web_cgi, nullptr) == STATUS_OK);
    // The length claimed: the body's own, or a few bytes more.
    const bool longer = pick & 2 && pick >> 5;
    const std::string length = std::to_string(body.size() + (longer ? pick >> 5 : 0));
    FUZZ_CHECK(hdf_set_value(web_cgi->hdf, "CGI.ContentLength", length.c_str()) == STATUS_OK);
    const form_rules rules = pick & 1 ? form_rules{FORM_FIELDS_MAX + 64, "sel"} : form_rules{FORM_FIELDS_MAX};
    if (page_read_form(rules)) {
        FUZZ_CHECK(body.find("%00") == std::string::npos && body.find('\0') == std::string::npos && !longer);
        // Each field a node of its own, the repeatable one's values one level down.
        FUZZ_CHECK(children(hdf_get_obj(web_cgi->hdf, "Query")) <= 2 * rules.max_fields);
    }
    cgi_destroy(&web_cgi);
}
