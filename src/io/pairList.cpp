// Streaming parse of the reference pair list; see pairList.h.
//
// The parse costs a few operations per byte: tokens come straight from the
// reader's buffer, plain digit runs are converted inline, and the text of a
// message (which pair, which member) is built only when one is thrown.
#include "io/pairList.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <optional>
#include <stdexcept>

#include "core/parse.h"
#include "io/textReader.h"

namespace lattis {

namespace {

// The table always may reach this many entries, and 16 more per pair read:
// the room a list's own bytes justify (each pair takes at least four).
constexpr std::size_t kDenseFloor = std::size_t{1} << 16;
constexpr std::size_t kDensePerPair = 16;

// What the list expects next, for messages.
struct Item {
    enum Kind { TableSize, PairCount, First, Second } kind;
    long long pair = 0, of = 0;
    std::string text() const {
        switch (kind) {
            case TableSize: return "the table size A";
            case PairCount: return "the pair count B";
            case First: return "the first member of pair " + std::to_string(pair) + " of " + std::to_string(of);
            case Second: return "the second member of pair " + std::to_string(pair) + " of " + std::to_string(of);
        }
        return {};
    }
};

std::string where(const TextReader& in) { return in.label() + ", line " + std::to_string(in.line()); }

// The next token as an int: plain digit runs by the reader's fast path,
// anything else strictly by parseInteger.
int integer(TextReader& in, const Item& item) {
    std::uint32_t digits = 0;
    if (in.nextDigits(digits)) return static_cast<int>(digits);
    const std::string_view tok = in.next();
    if (tok.empty())
        throw std::runtime_error(in.label() + ": ends at line " + std::to_string(in.line()) + " before " + item.text());
    const std::optional<int> v = parseInteger<int>(tok);
    if (!v) throw std::runtime_error(where(in) + ": expected an integer for " + item.text() + ", got " + quoteToken(tok));
    return *v;
}

// Increments of the table gathered in chunks. A list's first members come
// in no useful order, and one increment at a random place of a table of tens
// of megabytes costs a cache and TLB miss; grouped by region of the table
// (a radix pass on the high bits), the increments of one group stay within
// a few hundred kilobytes.
class PendingCounts {
public:
    void add(int x, std::vector<int>& table) {
        if (table.size() <= kDirect) {
            ++table[static_cast<std::size_t>(x)];
            return;
        }
        if (buffer.empty()) buffer.reserve(kChunk);
        buffer.push_back(static_cast<std::uint32_t>(x));
        if (buffer.size() == kChunk) flush(table);
    }
    // Only tables larger than kDirect have pending increments (tables only
    // grow), so the shift below is never negative.
    void flush(std::vector<int>& table) {
        if (buffer.empty()) return;
        const int shift = std::bit_width(table.size() - 1) - kBucketBits;
        std::array<std::size_t, kBuckets + 1> start{};
        for (std::uint32_t x : buffer) ++start[(x >> shift) + 1];
        for (std::size_t b = 1; b <= kBuckets; ++b) start[b] += start[b - 1];
        grouped.resize(buffer.size());
        for (std::uint32_t x : buffer) grouped[start[x >> shift]++] = x;
        for (std::uint32_t x : grouped) ++table[x];
        buffer.clear();
    }

private:
    static constexpr std::size_t kChunk = std::size_t{1} << 20;
    static constexpr std::size_t kDirect = std::size_t{1} << 20;  // 4 MB: cache-sized, counted directly
    static constexpr int kBucketBits = 8;
    static constexpr std::size_t kBuckets = std::size_t{1} << kBucketBits;
    std::vector<std::uint32_t> buffer, grouped;
};

}  // namespace

int PairList::count(int id) const {
    if (id < 0) return 0;
    const auto i = static_cast<std::size_t>(id);
    const int inDense = i < dense.size() ? dense[i] : 0;
    const auto [lo, hi] = std::equal_range(sparse.begin(), sparse.end(), id);
    return inDense + static_cast<int>(hi - lo);
}

PairList readPairList(TextReader& in) {
    PairList t;
    const int a = integer(in, {Item::TableSize});
    if (a < 0) throw std::runtime_error(where(in) + ": the table size A = " + std::to_string(a) + " is negative");
    const int b = integer(in, {Item::PairCount});
    if (b < 0) throw std::runtime_error(where(in) + ": the pair count B = " + std::to_string(b) + " is negative");
    t.stated = a;
    t.pairCount = b;
    std::size_t limit = kDenseFloor;
    PendingCounts pending;
    for (int i = 0; i < b; ++i) {
        // Most lines are "x y" of small ids, taken whole; the rest token by token.
        std::uint32_t first = 0, second = 0;
        const bool plain = in.nextDigitPair(first, second);
        const int x = plain ? static_cast<int>(first) : integer(in, {Item::First, i + 1, b});
        if (x < 0 || x >= a)
            throw std::runtime_error(where(in) + ": the first member " + std::to_string(x) + " of pair " +
                                     std::to_string(i + 1) + " of " + std::to_string(b) + " is outside 0.." +
                                     std::to_string(a - 1) + " (A = " + std::to_string(a) + ")");
        if (!plain) integer(in, {Item::Second, i + 1, b});
        const auto xi = static_cast<std::size_t>(x);
        limit += kDensePerPair;
        if (xi < t.dense.size()) {
            pending.add(x, t.dense);
        } else if (xi < limit) {
            // Geometric growth: at most twice the entries the ids present need.
            if (xi >= t.dense.capacity()) t.dense.reserve(std::max(xi + 1, 2 * t.dense.capacity()));
            t.dense.resize(xi + 1, 0);
            pending.add(x, t.dense);
        } else {
            t.sparse.push_back(x);
        }
    }
    pending.flush(t.dense);
    // Fold the side list into the table where the table may now reach.
    std::sort(t.sparse.begin(), t.sparse.end());
    std::size_t folded = 0;
    for (; folded < t.sparse.size(); ++folded) {
        const auto xi = static_cast<std::size_t>(t.sparse[folded]);
        if (xi >= limit) break;
        if (xi >= t.dense.size()) t.dense.resize(xi + 1, 0);
        ++t.dense[xi];
    }
    t.sparse.erase(t.sparse.begin(), t.sparse.begin() + static_cast<std::ptrdiff_t>(folded));
    return t;
}

PairList parsePairList(std::string_view text, const std::string& name) {
    TextReader in(TextReader::InMemory{}, text, name);
    return readPairList(in);
}

int pairCountOf(const PairList& table, const std::vector<int>& seeds) {
    int sum = 0;
    for (int s : seeds) sum += table.count(s);
    return sum;
}

}  // namespace lattis
