// Stream opening for the owning wrappers.
#include "unique_fd.h"

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
