// Owning wrappers for descriptors and stdio streams: closed on every way out.
// And a line reader over a descriptor, for the files a request reads whole.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

// Closes its descriptor at scope exit and keeps errno intact across the close,
// so a caller can still report why the call before the close failed.
class unique_fd {
public:
    unique_fd() = default;
    explicit unique_fd(int fd) : fd_(fd) {}
    unique_fd(unique_fd &&o) noexcept : fd_(o.release()) {}
    unique_fd &operator=(unique_fd &&o) noexcept
    {
        reset(o.release());
        return *this;
    }
    unique_fd(const unique_fd &) = delete;
    unique_fd &operator=(const unique_fd &) = delete;
    ~unique_fd() { reset(); }

    int get() const { return fd_; }
    bool ok() const { return fd_ >= 0; }
    // `if (!fd)` would read as "fd is 0"; say ok() instead.
    bool operator!() const = delete;

    int release()
    {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd = -1)
    {
        if (fd_ >= 0) {
            int saved = errno;
            ::close(fd_);
            errno = saved;
        }
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

// A FILE* that is closed at scope exit.
class unique_file {
public:
    unique_file() = default;
    explicit unique_file(FILE *f) : f_(f) {}
    unique_file(unique_file &&o) noexcept : f_(o.release()) {}
    unique_file(const unique_file &) = delete;
    unique_file &operator=(const unique_file &) = delete;
    unique_file &operator=(unique_file &&) = delete;
    ~unique_file()
    {
        if (f_) {
            int saved = errno;
            std::fclose(f_);
            errno = saved;
        }
    }

    FILE *get() const { return f_; }
    bool ok() const { return f_ != nullptr; }
    bool operator!() const = delete;
    FILE *release()
    {
        FILE *f = f_;
        f_ = nullptr;
        return f;
    }

private:
    FILE *f_ = nullptr;
};

// Opens a path as a stream without following a link planted at it and without
// leaking the descriptor into child processes. The descriptor is closed when
// fdopen fails. flags are open(2) flags; mode is the fdopen mode.
unique_file open_stream(const char *path, int flags, const char *mode);

// fopen for reading, close-on-exec; a null or empty path gives no stream.
unique_file open_read(const char *path);

// Reads a file line by line as fgets with a SIZE-byte buffer would: each line
// with its line feed, a longer one in pieces of SIZE-1 bytes. It reads the
// descriptor in large blocks itself, so a line costs a search and a copy, not
// a trip through stdio.
class line_reader {
public:
    // Opens path for reading without following a link, close-on-exec.
    explicit line_reader(const char *path);
    bool ok() const { return fd_.ok(); }

    // The next line into line, NUL-terminated; false at the end of the file
    // or on a read error.
    template <std::size_t SIZE> bool next(char (&line)[SIZE]) { return next(line, SIZE); }
    bool next(char *line, std::size_t size);
    // true once a read has failed: what came before is not the whole file.
    bool failed() const { return failed_; }

private:
    bool fill();

    unique_fd fd_;
    bool failed_ = false;
    char buf_[8192];
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
};
