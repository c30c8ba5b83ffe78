// The memory probe of the selection program's report.
//
// The probe asks pmap through the shell, as the report has always done, and
// reads the total from the pipeline's output. Hosts without pmap give no
// output; the kernel's VmSize figure (the same total of mapped memory, in
// kB) stands in for it there.
#include "core/memoryProbe.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "core/numberText.h"

namespace lattis {

float megabytesFromTotal(std::string total) {
    if (!total.empty()) total.pop_back();  // the unit letter
    const float kilobytes = static_cast<float>(strToInt(total));
    return kilobytes / 1024;
}

std::string totalFromStatus(std::string_view status) {
    constexpr std::string_view key = "VmSize:";
    std::size_t at = 0;
    while (at < status.size()) {
        std::size_t eol = status.find('\n', at);
        if (eol == std::string_view::npos) eol = status.size();
        std::string_view line = status.substr(at, eol - at);
        if (line.substr(0, key.size()) == key) {
            line.remove_prefix(key.size());
            const std::size_t digits = line.find_first_of("0123456789");
            if (digits == std::string_view::npos) return {};
            line.remove_prefix(digits);
            const std::size_t stop = line.find_first_not_of("0123456789");
            return std::string(line.substr(0, stop)) + "K";
        }
        at = eol + 1;
    }
    return {};
}

std::string memoryTotalText() {
    const std::string pid = intToStr(static_cast<int>(getpid()));
    const std::string command = "pmap " + pid + " | grep -i Total | awk '{print $2}'";
    // The pipeline's output is read through a pipe: no file is made, so the
    // working directory may be read-only and no planted name is written
    // through. Its exit status is deliberately ignored: empty output is
    // handled below.
    std::string mem_str;
    if (std::FILE* pipe = popen(command.c_str(), "r")) {
        char line[256];
        if (std::fgets(line, sizeof line, pipe) != nullptr) mem_str = line;
        // Drain the rest so that the pipeline never blocks on a full pipe.
        while (std::fgets(line, sizeof line, pipe) != nullptr) {
        }
        pclose(pipe);
    }
    if (!mem_str.empty() && mem_str.back() == '\n') mem_str.pop_back();

    if (mem_str.empty()) {
        std::ifstream in("/proc/self/status");
        std::ostringstream text;
        text << in.rdbuf();
        mem_str = totalFromStatus(text.str());
    }
    return mem_str;
}

float getCurrentMemoryUsage() { return megabytesFromTotal(memoryTotalText()); }

}  // namespace lattis
