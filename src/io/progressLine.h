// One status line on standard error while a long phase runs. By default it
// shows only when standard error is a terminal (never in logs or pipes),
// rewritten in place; a run may force it on (-progress 1) or off
// (-progress 0). Forced on where standard error is not a terminal, every
// update is a plain line of its own, so that a log keeps one line per update
// without carriage returns or terminal controls.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <optional>
#include <string>

namespace lattis {

class ProgressLine {
public:
    // wanted: on or off as asked, or, when absent, on only on a terminal.
    explicit ProgressLine(std::optional<bool> wanted = std::nullopt)
        : inPlace(isatty(STDERR_FILENO) == 1), shown(wanted.value_or(inPlace)) {}
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;
    ~ProgressLine() { clear(); }
    bool enabled() const { return shown; }
    void show(const std::string& text) {
        if (!shown) return;
        if (inPlace) {
            std::fprintf(stderr, "\r%s\033[K", text.c_str());
            drawn = true;
        } else {
            std::fprintf(stderr, "%s\n", text.c_str());
        }
        std::fflush(stderr);
    }
    void clear() {
        if (!drawn) return;
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        drawn = false;
    }

private:
    bool inPlace;
    bool shown;
    bool drawn = false;
};

}  // namespace lattis
