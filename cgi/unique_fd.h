// Owning wrappers for descriptors and stdio streams, closed on every way
// out, and the ways they are opened and written.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <fcntl.h>
#include <string_view>
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

// Writes all of text to fd, through partial writes and interruptions. false
// when a write fails or writes nothing.
bool write_all(int fd, std::string_view text);

// Opens a path as a stream without following a link planted at it and without
// leaking the descriptor into child processes. The descriptor is closed when
// fdopen fails. flags are open(2) flags; mode is the fdopen mode.
unique_file open_stream(const char *path, int flags, const char *mode);

// fopen for reading, close-on-exec; a null or empty path gives no stream.
unique_file open_read(const char *path);
