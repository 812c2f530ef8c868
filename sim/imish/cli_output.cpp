// Result lines of imish commands, with output filters and one-line errors.
#include "cli_output.h"

#include <cstdarg>
#include <cstring>

void cli_out::set_filter(out_filter kind, const char *text)
{
    filter_ = kind;
    std::snprintf(filter_text_, sizeof filter_text_, "%s", text);
}

void cli_out::line(const char *fmt, ...)
{
    char buf[CLI_OUT_LINE_SIZE];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    if (filter_ != out_filter::none) {
        bool found = std::strstr(buf, filter_text_) != nullptr;
        if (found != (filter_ == out_filter::include))
            return;
    }
    std::fputs(buf, f_);
    std::fputc('\n', f_);
}

void cli_out::error(const char *fmt, ...)
{
    char buf[CLI_ERR_LINE_MAX + 1];
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    if (n < 0)
        buf[0] = '\0';
    for (char *p = buf; *p; ++p)
        if (*p < 0x20 || *p > 0x7e)
            *p = '?';
    std::fputs("% ", f_);
    std::fputs(buf, f_);
    std::fputc('\n', f_);
    ++errors_;
}
