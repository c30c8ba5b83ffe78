// One status line on standard error, rewritten in place while a long phase
// runs, and only when standard error is a terminal (never in logs or pipes).
#pragma once

#include <unistd.h>

#include <cstdio>
#include <string>

namespace lattis {

class ProgressLine {
public:
    ProgressLine() : shown(isatty(STDERR_FILENO) == 1) {}
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;
    ~ProgressLine() { clear(); }
    bool enabled() const { return shown; }
    void show(const std::string& text) {
        if (!shown) return;
        std::fprintf(stderr, "\r%s\033[K", text.c_str());
        std::fflush(stderr);
        drawn = true;
    }
    void clear() {
        if (!drawn) return;
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        drawn = false;
    }

private:
    bool shown;
    bool drawn = false;
};

}  // namespace lattis
