// Streaming parse of the reference pair list; see pairList.h.
//
// The parse costs a few operations per byte: tokens come straight from the
// reader's buffer, plain digit runs are converted inline, and the text of a
// message (which pair, which member) is built only when one is thrown.
#include "pairList.h"

#include <algorithm>
#include <optional>
#include <stdexcept>

#include "parse.h"
#include "textReader.h"

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

// The next token as an int; plain digit runs of up to nine digits are
// converted here, anything else strictly by parseInteger.
int integer(TextReader& in, const Item& item) {
    const std::string_view tok = in.next();
    if (tok.empty())
        throw std::runtime_error(in.label() + ": ends at line " + std::to_string(in.line()) + " before " + item.text());
    if (tok.size() <= 9) {
        int v = 0;
        std::size_t i = 0;
        for (; i < tok.size(); ++i) {
            const unsigned d = static_cast<unsigned char>(tok[i]) - static_cast<unsigned>('0');
            if (d > 9) break;
            v = v * 10 + static_cast<int>(d);
        }
        if (i == tok.size()) return v;
    }
    const std::optional<int> v = parseInteger<int>(tok);
    if (!v) throw std::runtime_error(where(in) + ": expected an integer for " + item.text() + ", got " + quoteToken(tok));
    return *v;
}

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
    for (int i = 0; i < b; ++i) {
        const int x = integer(in, {Item::First, i + 1, b});
        if (x < 0 || x >= a)
            throw std::runtime_error(where(in) + ": the first member " + std::to_string(x) + " of pair " +
                                     std::to_string(i + 1) + " of " + std::to_string(b) + " is outside 0.." +
                                     std::to_string(a - 1) + " (A = " + std::to_string(a) + ")");
        integer(in, {Item::Second, i + 1, b});
        const auto xi = static_cast<std::size_t>(x);
        limit += kDensePerPair;
        if (xi < t.dense.size()) {
            ++t.dense[xi];
        } else if (xi < limit) {
            // Geometric growth: at most twice the entries the ids present need.
            if (xi >= t.dense.capacity()) t.dense.reserve(std::max(xi + 1, 2 * t.dense.capacity()));
            t.dense.resize(xi + 1, 0);
            ++t.dense[xi];
        } else {
            t.sparse.push_back(x);
        }
    }
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
