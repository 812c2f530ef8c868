// Shared by the harnesses: entry points, the sandbox guard, input files, texts.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

// Fails the run with a message when a property does not hold.
#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);         \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

// The harnesses write the library's fixed paths (/tmp, /var/www, /mnt):
// refuse to run anywhere but in scripts/sandbox.sh's private tmpfs.
inline void fuzz_require_sandbox()
{
    const char *s = std::getenv("WEBSIM_SANDBOXED");
    const bool run_through_scripts_sandbox_sh = s && std::strcmp(s, "1") == 0;
    FUZZ_CHECK(run_through_scripts_sandbox_sh);
}

// FUZZ_SETUP { ... } runs once, in the sandbox, before any input;
// FUZZ_TARGET(min, max) { ... } gets each input of min to max bytes as data
// and size. Both check for the sandbox first: a harness may have no FUZZ_SETUP.
#define FUZZ_SETUP                                                                                 \
    static void fuzz_setup();                                                                      \
    extern "C" int LLVMFuzzerInitialize(int *, char ***) { fuzz_require_sandbox(), fuzz_setup(); return 0; } \
    static void fuzz_setup()
#define FUZZ_TARGET(min, max)                                                                      \
    static void fuzz_one(const std::uint8_t *data, std::size_t size);                              \
    extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)              \
    {                                                                                              \
        [[maybe_unused]] static const bool sandboxed = (fuzz_require_sandbox(), true);             \
        if (size >= (min) && size <= (max))                                                        \
            fuzz_one(data, size);                                                                  \
        return 0;                                                                                  \
    }                                                                                              \
    static void fuzz_one(const std::uint8_t *data, std::size_t size)

// Replaces the file at path with the input bytes.
inline void fuzz_write_file(const char *path, const std::uint8_t *data, std::size_t size)
{
    std::FILE *f = std::fopen(path, "wbe");
    FUZZ_CHECK(f && std::fwrite(data, 1, size, f) == size && std::fclose(f) == 0);
}

// The input as a C string: up to its first NUL byte.
inline std::string fuzz_text(const std::uint8_t *data, std::size_t size)
{
    std::string s(reinterpret_cast<const char *>(data), size);
    return s.substr(0, s.find('\0'));
}

// The lines of text, each cut at its first NUL; none after a last line feed.
inline std::vector<std::string> fuzz_lines(const std::string &text)
{
    std::vector<std::string> lines;
    for (std::size_t pos = 0, end; pos < text.size(); pos = end + 1) {
        end = std::min(text.find('\n', pos), text.size());
        const std::string line = text.substr(pos, end - pos);
        lines.push_back(line.substr(0, line.find('\0')));
    }
    return lines;
}

// A short quarantine: every input allocates afresh, and a large one makes
// each run fault in new pages, which costs more than the run itself. Each
// harness is one source, so the header may define it.
extern "C" __attribute__((used)) const char *__asan_default_options()
{
    return "quarantine_size_mb=16";
}
