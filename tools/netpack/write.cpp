// Output files: written under a temporary name beside the final one and
// renamed into place only once complete, so that a failed run never leaves a
// truncated file under a name the other tools read.
//
// Text outputs hold integers (ids, 0/1 benefits, integer costs), written
// with std::to_chars, or values exactly as an input file gave them, so that
// they read back exactly.
#include <charconv>

#include "netpack/netpack.h"

namespace netpack {

namespace {
constexpr std::size_t kTextBuffer = std::size_t{1} << 20;
}

OutputFile::OutputFile(const std::string& finalPath) : file(finalPath, finalPath) { text.reserve(kTextBuffer); }

void OutputFile::flushText() {
    file.write(text.data(), text.size());
    written += text.size();
    text.clear();
}

void OutputFile::write(const void* data, std::size_t size) {
    flushText();
    file.write(data, size);
    written += size;
}

void OutputFile::put(std::uint64_t value) {
    if (text.size() + 24 > kTextBuffer) flushText();
    char buf[24];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    text.insert(text.end(), buf, end);
}

void OutputFile::put(char c) {
    if (text.size() + 1 > kTextBuffer) flushText();
    text.push_back(c);
}

void OutputFile::put(std::string_view s) {
    if (text.size() + s.size() > kTextBuffer) flushText();
    if (s.size() > kTextBuffer) {
        write(s.data(), s.size());
        return;
    }
    text.insert(text.end(), s.begin(), s.end());
}

void OutputFile::finish() {
    flushText();
    file.finish();
}

void writeNetwork(const Network& net, OutputFile& out) {
    std::uint32_t n = net.n;
    std::uint64_t m = net.arcs();
    out.write(&n, sizeof n);
    out.write(&m, sizeof m);
    std::vector<std::int32_t> degree(n);
    for (std::uint32_t v = 1; v <= n; ++v) degree[v - 1] = static_cast<std::int32_t>(net.inDegree(v));
    out.write(degree.data(), degree.size() * sizeof(std::int32_t));
    out.write(net.adj.data(), net.adj.size() * sizeof(std::int32_t));
    out.write(net.prob.data(), net.prob.size() * sizeof(float));
}

void writeMap(const Network& net, OutputFile& out) {
    for (std::uint32_t v = 1; v <= net.n; ++v) {
        out.put(net.originalId(v));
        out.put('\n');
    }
}

void writeColumn(const NodeColumn& column, OutputFile& out) {
    if (const auto* numbers = std::get_if<std::vector<std::uint32_t>>(&column)) {
        for (std::size_t v = 1; v < numbers->size(); ++v) {
            out.put(static_cast<std::uint64_t>((*numbers)[v]));
            out.put('\n');
        }
        return;
    }
    const GivenValues& given = std::get<GivenValues>(column);
    const std::string_view text = given.text;
    for (std::size_t v = 1; v < given.at.size(); ++v) {
        const std::size_t end = text.find('\n', given.at[v]);
        out.put(text.substr(given.at[v], end + 1 - given.at[v]));
    }
}

void writePairs(const Network& net, OutputFile& out) {
    out.put(static_cast<std::uint64_t>(net.n) + 1);
    out.put('\n');
    out.put(net.arcs());
    out.put('\n');
    for (std::uint32_t v = 1; v <= net.n; ++v)
        for (std::uint32_t k = net.off[v]; k < net.off[v + 1]; ++k) {
            out.put(static_cast<std::uint64_t>(net.adj[k]));
            out.put(' ');
            out.put(static_cast<std::uint64_t>(v));
            out.put('\n');
        }
}

}  // namespace netpack
