// The block line reader.
#include "line_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

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
    last_ = n;
    return n > 0;
}
