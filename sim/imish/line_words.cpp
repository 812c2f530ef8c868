// Command and state file lines, read within a bounded buffer and split into words.
#include "line_words.h"

line_status read_line(FILE *f, char *buf, std::size_t cap, std::size_t &len)
{
    len = 0;
    bool any = false;
    bool overflow = false;
    int c;
    while ((c = getc_unlocked(f)) != EOF) {
        any = true;
        if (c == '\n')
            break;
        // Keep consuming after the buffer fills so the next call starts on
        // the following line instead of in the middle of this one.
        if (len + 1 < cap)
            buf[len++] = static_cast<char>(c);
        else
            overflow = true;
    }
    buf[len] = '\0';
    if (!any)
        return line_status::end;
    return overflow ? line_status::too_long : line_status::ok;
}

int split_words(char *line, char **words, int max)
{
    int n = 0;
    char *p = line;
    for (;;) {
        while (*p == ' ' || *p == '\t' || *p == '\r')
            ++p;
        if (*p == '\0')
            return n;
        if (n == max)
            return -1;
        words[n++] = p;
        while (*p != '\0' && *p != ' ' && *p != '\t' && *p != '\r')
            ++p;
        if (*p != '\0')
            *p++ = '\0';
    }
}
