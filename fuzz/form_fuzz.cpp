// A POST's form as the pages read it: whatever the bytes, a body is taken
// only when every field's name is a form's kind and none repeats but the
// one that may, a NUL never reaches a value, and the fields stored stay
// within the bound. The first byte picks the add page's rules or the
// removal's, and whether the length claimed is the body's own.
#include "fuzz_util.h"
#include "page_driver.h"
#include "web_state.h"

#include <ClearSilver.h>

#include <cstring>
#include <string>

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

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz_require_sandbox();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1 || size > 8192)
        return 0;
    const std::uint8_t pick = data[0];
    fuzz_write_file(BODY_PATH, data + 1, size - 1);
    int fd = ::open(BODY_PATH, O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::dup2(fd, STDIN_FILENO) < 0)
        std::abort();
    ::close(fd);
    if (cgi_init(&web_cgi, nullptr) != STATUS_OK)
        std::abort();
    // The length claimed: the body's own, or a few bytes more.
    std::string length = std::to_string(size - 1 + (pick & 2 ? pick >> 5 : 0));
    if (hdf_set_value(web_cgi->hdf, "CGI.ContentLength", length.c_str()) != STATUS_OK)
        std::abort();
    const form_rules rules = pick & 1 ? form_rules{FORM_FIELDS_MAX + 64, "sel"} : form_rules{FORM_FIELDS_MAX};
    const std::string body(reinterpret_cast<const char *>(data + 1), size - 1);
    bool taken = page_read_form(rules);
    if (taken) {
        if (body.find("%00") != std::string::npos || body.find('\0') != std::string::npos || (pick & 2 && pick >> 5))
            std::abort();
        // Each field a node of its own, the repeatable one's values one level down.
        if (children(hdf_get_obj(web_cgi->hdf, "Query")) > 2 * rules.max_fields)
            std::abort();
    }
    cgi_destroy(&web_cgi);
    return 0;
}
