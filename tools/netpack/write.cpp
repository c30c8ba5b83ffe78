// Output files: written under a temporary name beside the final one and
// renamed into place only once complete, so that a failed run never leaves a
// truncated file under a name the other tools read.
//
// Text outputs hold integers (ids, 0/1 benefits, integer costs), written
// with std::to_chars, or values exactly as an input file gave them, so that
// they read back exactly. Integer text is formatted by the thread team, in
// blocks written in order, so the bytes are the same for any thread count.
#include <omp.h>

#include <algorithm>
#include <charconv>
#include <string>

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

namespace {

// Text is formatted by the thread team in blocks of lines, each into its own
// buffer, and the buffers are written in order, a round of blocks at a time.
constexpr std::uint64_t kLinesPerBlock = std::uint64_t{1} << 16;

// format(buffer, first, last) appends the text of items first .. last - 1.
template <class Format>
void putInBlocks(OutputFile& out, std::uint64_t items, Format&& format) {
    const auto perRound = static_cast<std::uint64_t>(4 * omp_get_max_threads());
    std::vector<std::string> buffers(perRound);
    for (std::uint64_t round = 0; round < items; round += perRound * kLinesPerBlock) {
        const std::uint64_t blocks = std::min(perRound, (items - round + kLinesPerBlock - 1) / kLinesPerBlock);
#pragma omp parallel for schedule(dynamic, 1)
        for (std::int64_t b = 0; b < static_cast<std::int64_t>(blocks); ++b) {
            const std::uint64_t first = round + static_cast<std::uint64_t>(b) * kLinesPerBlock;
            buffers[b].clear();
            format(buffers[b], first, std::min(first + kLinesPerBlock, items));
        }
        for (std::uint64_t b = 0; b < blocks; ++b) out.write(buffers[b].data(), buffers[b].size());
    }
}

// Appends the decimal text of value and then `end`.
inline void append(std::string& buffer, std::uint64_t value, char end) {
    char buf[24];
    auto [last, ec] = std::to_chars(buf, buf + sizeof buf - 1, value);
    *last++ = end;
    buffer.append(buf, last);
}

}  // namespace

void writeNetwork(const Network& net, OutputFile& out) {
    std::uint32_t n = net.n;
    std::uint64_t m = net.arcs();
    out.write(&n, sizeof n);
    out.write(&m, sizeof m);
    std::vector<std::int32_t> degree(n);
#pragma omp parallel for schedule(static)
    for (std::int64_t v = 1; v <= static_cast<std::int64_t>(n); ++v)
        degree[v - 1] = static_cast<std::int32_t>(net.inDegree(static_cast<std::uint32_t>(v)));
    out.write(degree.data(), degree.size() * sizeof(std::int32_t));
    out.write(net.adj.data(), net.adj.size() * sizeof(std::int32_t));
    out.write(net.prob.data(), net.prob.size() * sizeof(float));
}

void writeMap(const Network& net, OutputFile& out) {
    putInBlocks(out, net.n, [&](std::string& text, std::uint64_t first, std::uint64_t last) {
        for (std::uint64_t i = first; i < last; ++i) append(text, net.originalId(static_cast<std::uint32_t>(i + 1)), '\n');
    });
}

void writeColumn(const NodeColumn& column, OutputFile& out) {
    if (const auto* numbers = std::get_if<std::vector<std::uint32_t>>(&column)) {
        if (numbers->empty()) return;
        putInBlocks(out, numbers->size() - 1, [&](std::string& text, std::uint64_t first, std::uint64_t last) {
            for (std::uint64_t i = first; i < last; ++i) append(text, (*numbers)[i + 1], '\n');
        });
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
    // Blocks of arcs; a block starts at the node whose list holds its first arc.
    const std::vector<std::uint32_t>& off = net.off;
    putInBlocks(out, net.arcs(), [&](std::string& text, std::uint64_t first, std::uint64_t last) {
        auto v = static_cast<std::uint32_t>(std::upper_bound(off.begin() + 1, off.begin() + net.n + 1, first) -
                                            off.begin() - 1);
        for (std::uint64_t k = first; k < last; ++k) {
            while (off[v + 1] <= k) ++v;
            append(text, static_cast<std::uint64_t>(net.adj[k]), ' ');
            append(text, v, '\n');
        }
    });
}

}  // namespace netpack
