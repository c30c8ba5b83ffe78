// The /proc readers; see procStatus.h.
#include "core/procStatus.h"

#include <fstream>
#include <iterator>
#include <string>

#include "core/parse.h"

namespace lattis {

namespace {

std::optional<std::uint64_t> procFile(const char* path, std::string_view key) {
    std::ifstream in(path);
    if (!in) return std::nullopt;
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto kb = procFieldKilobytes(text, key);
    if (!kb) return std::nullopt;
    return *kb * 1024;
}

}  // namespace

std::optional<std::uint64_t> procFieldKilobytes(std::string_view text, std::string_view key) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (line.size() <= key.size() || line.substr(0, key.size()) != key || line[key.size()] != ':') continue;
        line.remove_prefix(key.size() + 1);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
        std::size_t digits = 0;
        while (digits < line.size() && line[digits] >= '0' && line[digits] <= '9') ++digits;
        return parseInteger<std::uint64_t>(line.substr(0, digits));
    }
    return std::nullopt;
}

std::optional<std::uint64_t> memAvailableBytes() { return procFile("/proc/meminfo", "MemAvailable"); }

std::optional<std::uint64_t> peakResidentBytes() { return procFile("/proc/self/status", "VmHWM"); }

}  // namespace lattis
