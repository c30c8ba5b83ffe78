// Reader of netpack's id map; see idMap.h.
#include "io/idMap.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string_view>

#include "core/parse.h"
#include "io/textReader.h"

namespace lattis {

namespace {

// No id takes more than 20 digits; a longer line is refused as soon as it is
// this long, so that a stream without line breaks (/dev/zero) is not held.
constexpr std::size_t kLongestLine = 64;

// The map's lines read one by one from a descriptor, in blocks.
class MapLines {
public:
    MapLines(const std::string& path, std::string label) : label(std::move(label)) {
        do fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        while (fd < 0 && errno == EINTR);
        if (fd < 0) throw std::runtime_error("cannot open " + this->label + ": " + std::strerror(errno));
        struct stat st {};
        if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
            ::close(fd);
            throw std::runtime_error(this->label + ": is a directory, not a file");
        }
    }
    MapLines(const MapLines&) = delete;
    MapLines& operator=(const MapLines&) = delete;
    ~MapLines() { ::close(fd); }

    // The next line without its line break (and a '\r' before it, as the
    // other readers take CRLF lines); false at the end of the input. A line
    // longer than kLongestLine is returned cut there.
    bool next(std::string& line) {
        line.clear();
        for (;;) {
            if (pos == end && !refill()) return !line.empty();
            const char* start = block + pos;
            const void* nl = std::memchr(start, '\n', end - pos);
            const std::size_t take = nl != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nl) - start)
                                                   : end - pos;
            line.append(start, std::min(take, kLongestLine + 1 - line.size()));
            pos += take;
            if (nl != nullptr) {
                ++pos;
                break;
            }
            if (line.size() > kLongestLine) return true;
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return true;
    }
    // Whether anything follows what was read.
    bool more() { return pos < end || refill(); }

private:
    bool refill() {
        ssize_t got = 0;
        do got = ::read(fd, block, sizeof block);
        while (got < 0 && errno == EINTR);
        if (got < 0) throw std::runtime_error("cannot read " + label + ": " + std::strerror(errno));
        pos = 0;
        end = static_cast<std::size_t>(got);
        return got > 0;
    }
    std::string label;
    int fd = -1;
    char block[1 << 16];
    std::size_t pos = 0, end = 0;
};

}  // namespace

std::vector<std::uint64_t> readIdMap(const std::string& path, int n) {
    const std::string label = "map file " + quoteToken(path);
    MapLines lines(path, label);
    const std::string foreign = " nodes: give the map netpack wrote with this network";
    std::vector<std::uint64_t> ids;
    ids.reserve(static_cast<std::size_t>(n));
    std::string line;
    while (ids.size() < static_cast<std::size_t>(n) && lines.next(line)) {
        const std::optional<std::uint64_t> id = parseInteger<std::uint64_t>(line);
        if (!id)
            throw std::runtime_error(label + ", line " + std::to_string(ids.size() + 1) +
                                     ": expected one original node id, got " + quoteToken(line));
        ids.push_back(*id);
    }
    if (ids.size() < static_cast<std::size_t>(n))
        throw std::runtime_error(label + " holds " + std::to_string(ids.size()) + " ids but the network has " +
                                 std::to_string(n) + foreign);
    if (lines.more())
        throw std::runtime_error(label + " holds more than " + std::to_string(n) + " ids but the network has " +
                                 std::to_string(n) + foreign);
    return ids;
}

std::vector<std::uint64_t> originalIds(const std::vector<std::uint64_t>& map, const std::vector<int>& seeds) {
    std::vector<std::uint64_t> out;
    out.reserve(seeds.size());
    for (int s : seeds) out.push_back(map.at(static_cast<std::size_t>(s) - 1));
    return out;
}

}  // namespace lattis
