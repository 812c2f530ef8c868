// Opening and writing through the owning wrappers.
#include "unique_fd.h"

#include <algorithm>
#include <cstring>

bool write_all(int fd, std::string_view text)
{
    while (!text.empty()) {
        ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

unique_file open_stream(const char *path, int flags, const char *mode)
{
    if (!path || !*path)
        return unique_file();
    unique_fd fd(::open(path, flags | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd.ok())
        return unique_file();
    FILE *f = ::fdopen(fd.get(), mode);
    if (f)
        fd.release();
    return unique_file(f);
}

unique_file open_read(const char *path)
{
    return unique_file(path && *path ? std::fopen(path, "re") : nullptr);
}
