// Set-up shared by the harnesses: the sandbox guard, input files and texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

// The harnesses write the library's fixed paths (/tmp, /var/www, /mnt):
// refuse to run anywhere but in scripts/sandbox.sh's private tmpfs.
inline void fuzz_require_sandbox()
{
    const char *s = std::getenv("WEBSIM_SANDBOXED");
    if (!s || std::string(s) != "1") {
        std::fprintf(stderr, "run this harness through scripts/sandbox.sh\n");
        std::abort();
    }
}

// Replaces the file at path with the input bytes.
inline void fuzz_write_file(const char *path, const std::uint8_t *data, std::size_t size)
{
    int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        std::perror(path);
        std::abort();
    }
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n <= 0)
            std::abort();
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    ::close(fd);
}

// The input as a C string: up to its first NUL byte.
inline std::string fuzz_text(const std::uint8_t *data, std::size_t size)
{
    std::string s(reinterpret_cast<const char *>(data), size);
    return s.substr(0, s.find('\0'));
}

// Fails the run with a message when a property does not hold.
#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);         \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

// A short quarantine: every input allocates afresh, and a large one makes
// each run fault in new pages, which costs more than the run itself. Each
// harness is one source, so the header may define it.
extern "C" __attribute__((used)) const char *__asan_default_options()
{
    return "quarantine_size_mb=16";
}
