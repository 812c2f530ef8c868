// Flash paths: the input is a file name, a path or a display path; every check
// and conversion gets it, each output buffer exactly as large as promised.
// A display path that converts must land inside a mount path of path_map.
#include "fuzz_util.h"
#include "param_check.h"

#include <sys/stat.h>

namespace {

// A real path that stays inside the flash mount: under "/mnt/flash" with no
// ".." component and no empty one but a trailing "/". A "." can remain right
// after the prefix ("flash:./x"), which names the same file.
bool inside_flash(const std::string &real)
{
    const std::string root = path_map[0].real_path;
    std::string rest = real.starts_with(root) ? real.substr(root.size()) : "x";
    if (rest.empty() || rest.back() != '/')
        rest += '/';
    return rest[0] == '/' && rest.find("//") == std::string::npos && rest.find("/../") == std::string::npos;
}

} // namespace

FUZZ_SETUP
{
    // Display paths without a prefix are taken from the working directory.
    ::mkdir("/mnt/flash", 0755);
    ::mkdir("/mnt/flash/boot", 0755);
    FUZZ_CHECK(::chdir("/mnt/flash/boot") == 0);
}

FUZZ_TARGET(0, 600)
{
    const std::string s = fuzz_text(data, size);
    std::vector<char> text(s.c_str(), s.c_str() + s.size() + 1); // exactly the text and its NUL

    check_file_name(text.data());
    const int path_ok = check_path(text.data());
    const int display_ok = check_display_path(text.data());
    FUZZ_CHECK(path_ok != 0 || s.find(':') != std::string::npos || display_ok == 0);

    std::vector<char> norm = text;
    path_normalize(norm.data());
    FUZZ_CHECK(std::strlen(norm.data()) <= s.size());

    // The caller's buffer size comes from the input's length: short ones too.
    std::vector<char> real(1 + s.size() % (PATH_WORK_SIZE + 16)), back(PATH_WORK_SIZE);
    if (display_to_real_path(text.data(), real.data(), real.size()) == 0) {
        FUZZ_CHECK(inside_flash(real.data()));
        FUZZ_CHECK(real_to_display_path(real.data(), back.data()) == 0);
        FUZZ_CHECK(check_display_path(back.data()) == 0);
    }
    std::vector<char> display(PATH_WORK_SIZE);
    real_to_display_path(text.data(), display.data());
}
