// Stream opening for the owning wrappers, and the line reader.
#include "unique_fd.h"

#include <algorithm>
#include <cstring>

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

line_reader::line_reader(const char *path)
    : fd_(path && *path ? ::open(path, O_RDONLY | O_CLOEXEC | O_NOFOLLOW) : -1)
{
}

bool line_reader::fill()
{
    ssize_t n;
    do
        n = ::read(fd_.get(), buf_, sizeof buf_);
    while (n < 0 && errno == EINTR);
    pos_ = 0;
    end_ = n > 0 ? static_cast<std::size_t>(n) : 0;
    failed_ = failed_ || n < 0;
    return end_ > 0;
}

bool line_reader::next(char *line, std::size_t size)
{
    std::size_t n = 0;
    while (n + 1 < size && (pos_ < end_ || fill())) {
        const char *from = buf_ + pos_;
        std::size_t avail = std::min(end_ - pos_, size - 1 - n);
        const char *lf = static_cast<const char *>(std::memchr(from, '\n', avail));
        std::size_t take = lf ? static_cast<std::size_t>(lf - from) + 1 : avail;
        std::memcpy(line + n, from, take);
        n += take;
        pos_ += take;
        if (lf)
            break;
    }
    line[n] = '\0';
    return n > 0;
}
