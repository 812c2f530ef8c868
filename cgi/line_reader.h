// Reading a file line by line in large blocks, for the files a request
// reads whole (the CLI's results).
#pragma once

#include "unique_fd.h"

#include <cstddef>

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
    // The bytes of the last line read, line feed included: past a NUL byte
    // in it too, which its text alone would hide.
    std::size_t length() const { return last_; }

private:
    bool fill();

    unique_fd fd_;
    bool failed_ = false;
    char buf_[8192];
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    std::size_t last_ = 0;
};
