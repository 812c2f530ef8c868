// Where command results go: output lines, "| include" filters and error lines.
#pragma once

#include <cstddef>
#include <cstdio>

inline constexpr std::size_t CLI_OUT_LINE_SIZE = 1024;
// Error lines are kept short so that a reader with a 256-byte line buffer
// gets the whole reason in one piece.
inline constexpr std::size_t CLI_ERR_LINE_MAX = 200;
inline constexpr std::size_t CLI_FILTER_SIZE = 128;

enum class out_filter { none, include, exclude };

class cli_out {
public:
    explicit cli_out(FILE *f) : f_(f) {}

    // Applies to the output lines of the current command only.
    void set_filter(out_filter kind, const char *text);
    void clear_filter() { set_filter(out_filter::none, ""); }

    // One line of a command's result, without its line feed. Never holds a
    // "%": readers take any line with one for an error.
    void line(const char *fmt, ...) __attribute__((format(printf, 2, 3)));

    // One error line: "% " and the reason. Bytes that are not printable ASCII
    // (echoed from a command) become "?", so the reason stays on one line.
    // Filters never hide errors.
    void error(const char *fmt, ...) __attribute__((format(printf, 2, 3)));

    // Error lines written so far.
    int errors() const { return errors_; }

private:
    int errors_ = 0;
    FILE *f_;
    out_filter filter_ = out_filter::none;
    char filter_text_[CLI_FILTER_SIZE] = "";
};
