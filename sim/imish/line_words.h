// Command and state file lines, read within a bounded buffer and split into words.
#pragma once

#include <cstddef>
#include <cstdio>

enum class line_status {
    ok,       // a whole line is in the buffer, line feed removed
    too_long, // the line did not fit; its head is in the buffer, the rest was skipped
    end,      // no more lines
};

// Reads the next line of f into buf (cap bytes, NUL-terminated). len receives
// the number of bytes stored, which may include NUL bytes from the file, so
// callers must use len rather than strlen. A last line without a line feed
// still counts as a line. cap must be at least 2.
line_status read_line(FILE *f, char *buf, std::size_t cap, std::size_t &len);

// Splits line in place at blanks, tabs and carriage returns, storing word
// starts in words. The word count, or -1 when there are more than max words.
int split_words(char *line, char **words, int max);
