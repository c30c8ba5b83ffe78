// Reader of netpack's id map; see idMap.h.
#include "io/idMap.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string_view>

#include "core/parse.h"

namespace lattis {

std::vector<std::uint64_t> readIdMap(const std::string& path, int n) {
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot open map file \"" + path + "\"" +
                                 (errno != 0 ? std::string(": ") + std::strerror(errno) : std::string()));
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw std::runtime_error("cannot read map file \"" + path + "\"");

    std::vector<std::uint64_t> ids;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        const std::string_view line(text.data() + pos, end - pos);
        const std::optional<std::uint64_t> id = parseInteger<std::uint64_t>(line);
        if (!id)
            throw std::runtime_error("map file \"" + path + "\", line " + std::to_string(ids.size() + 1) +
                                     ": expected one original node id, got \"" +
                                     std::string(line.substr(0, 40)) + "\"");
        ids.push_back(*id);
        pos = end + 1;
    }
    if (ids.size() != static_cast<std::size_t>(n))
        throw std::runtime_error("map file \"" + path + "\" holds " + std::to_string(ids.size()) +
                                 " ids but the network has " + std::to_string(n) +
                                 " nodes: give the map netpack wrote with this network");
    return ids;
}

std::vector<std::uint64_t> originalIds(const std::vector<std::uint64_t>& map, const std::vector<int>& seeds) {
    std::vector<std::uint64_t> out;
    out.reserve(seeds.size());
    for (int s : seeds) out.push_back(map.at(static_cast<std::size_t>(s) - 1));
    return out;
}

}  // namespace lattis
