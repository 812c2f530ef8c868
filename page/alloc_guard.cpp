// Out of memory, a request ends: its imish ended, its files removed, no
// answer. ClearSilver does not check every allocation it makes, and a data
// set built on a failed one would crash the page or be shown as whole. The
// page programs are linked with --wrap for the allocators ClearSilver calls.
#include "cli_runner.h"
#include "page_frame.h"

#include <cstddef>
#include <unistd.h>

extern "C" {
void *__real_malloc(std::size_t size);
void *__real_calloc(std::size_t count, std::size_t size);
void *__real_realloc(void *ptr, std::size_t size);
char *__real_strdup(const char *text);
}

namespace {

// Not exit(): the exit handlers and stdio would allocate again, and a
// buffered answer half made must not go out.
[[noreturn]] void end_out_of_memory()
{
    cli_child_end();
    scratch_cleanup();
    _exit(255);
}

void *checked(void *ptr, bool wanted)
{
    if (!ptr && wanted)
        end_out_of_memory();
    return ptr;
}

} // namespace

extern "C" void *__wrap_malloc(std::size_t size)
{
    return checked(__real_malloc(size), size != 0);
}

extern "C" void *__wrap_calloc(std::size_t count, std::size_t size)
{
    return checked(__real_calloc(count, size), count != 0 && size != 0);
}

extern "C" void *__wrap_realloc(void *ptr, std::size_t size)
{
    return checked(__real_realloc(ptr, size), size != 0);
}

extern "C" char *__wrap_strdup(const char *text)
{
    return static_cast<char *>(checked(__real_strdup(text), true));
}
