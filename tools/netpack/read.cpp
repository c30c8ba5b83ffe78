// Reading of text edge lists and Matrix Market coordinate files, plain or
// gzip-compressed, and the renumbering of their node ids to 1..n.
//
// Lines come from lineInput.h in 1 MiB blocks, split into blank-separated
// fields; numbers are converted with std::from_chars.
// Ids are held as 32-bit values until the first id that needs 64 bits turns
// up, so that the usual inputs cost 8 bytes per arc while they are read.
// Renumbering marks the ids in a bitmap when the id range is small enough
// for the bitmap to cost less than a sorted copy, and sorts a copy otherwise;
// the marking and the ranking of the ids run on the thread team (the reading
// and the sort do not).
#include <algorithm>
#include <bit>
#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

#include "netpack/lineInput.h"
#include "netpack/netpack.h"

namespace netpack {
namespace {

inline float parseProbability(const std::string& path, std::uint64_t line, std::string_view t) {
    double p = 0;
    if (!parseWhole(t, p) || !(p >= 0.0 && p <= 1.0))
        lineFault(path, line, "expected a probability from 0 to 1 in the third column, got " + quoteToken(t));
    return static_cast<float>(p);
}

// Both id columns, 32 bits wide until an id needs more.
class IdPairs {
public:
    void push(std::uint64_t u, std::uint64_t v) {
        if (!wide) {
            if (((u | v) >> 32) == 0) {
                src32.push_back(static_cast<std::uint32_t>(u));
                dst32.push_back(static_cast<std::uint32_t>(v));
                maxId = std::max(maxId, std::max(u, v));
                return;
            }
            widen();
        }
        src64.push_back(u);
        dst64.push_back(v);
    }
    std::size_t size() const { return wide ? src64.size() : src32.size(); }

    bool wide = false;
    std::uint64_t maxId = 0;  // kept only while narrow
    GrowArray<std::uint32_t> src32, dst32;
    GrowArray<std::uint64_t> src64, dst64;

private:
    static void copyWide(GrowArray<std::uint32_t>& from, GrowArray<std::uint64_t>& to) {
        to.resize(from.size());
        for (std::size_t i = 0; i < from.size(); ++i) to[i] = from[i];
        from.release();
    }
    void widen() {
        copyWide(src32, src64);
        copyWide(dst32, dst64);
        wide = true;
    }
};

void checkNodeCount(std::uint64_t n, const std::string& path) {
    if (n > static_cast<std::uint64_t>(INT32_MAX))
        throw std::runtime_error(path + ": expected at most 2147483647 distinct node ids, found " + std::to_string(n));
}

// Ids of a narrow input with a small range: one bit per possible id and a
// running count per 64-bit word give each id its rank.
void renumberByBitmap(IdPairs& ids, ArcList& out, const std::string& path) {
    std::size_t words = static_cast<std::size_t>(ids.maxId / 64 + 1);
    std::vector<std::uint64_t> bits(words, 0);
    std::uint64_t* word = bits.data();
    // Setting a bit twice, in any order, gives the same bitmap.
    auto mark = [&](const GrowArray<std::uint32_t>& col) {
        const std::uint32_t* x = col.data();
#pragma omp parallel for schedule(static)
        for (std::int64_t i = 0; i < static_cast<std::int64_t>(col.size()); ++i) {
            const std::uint64_t bit = std::uint64_t{1} << (x[i] & 63);
            std::uint64_t seen = 0;
            // Most ids recur, and a plain read is far cheaper than a locked write.
#pragma omp atomic read
            seen = word[x[i] >> 6];
            if ((seen & bit) == 0) {
#pragma omp atomic
                word[x[i] >> 6] |= bit;
            }
        }
    };
    mark(ids.src32);
    mark(ids.dst32);
    std::vector<std::uint32_t> rank(words);
    std::uint64_t n = 0;
    for (std::size_t w = 0; w < words; ++w) {
        rank[w] = static_cast<std::uint32_t>(n);
        n += static_cast<std::uint64_t>(std::popcount(bits[w]));
    }
    checkNodeCount(n, path);
    out.n = static_cast<std::uint32_t>(n);
    out.origId.reserve(n);
    for (std::size_t w = 0; w < words; ++w)
        for (std::uint64_t b = bits[w]; b != 0; b &= b - 1)
            out.origId.push_back(w * 64 + static_cast<std::uint64_t>(std::countr_zero(b)));
    auto apply = [&](GrowArray<std::uint32_t>& col) {
        std::uint32_t* x = col.data();
#pragma omp parallel for schedule(static)
        for (std::int64_t i = 0; i < static_cast<std::int64_t>(col.size()); ++i) {
            const std::uint64_t below = word[x[i] >> 6] & ((std::uint64_t{1} << (x[i] & 63)) - 1);
            x[i] = rank[x[i] >> 6] + static_cast<std::uint32_t>(std::popcount(below)) + 1;
        }
    };
    apply(ids.src32);
    apply(ids.dst32);
    out.src = std::move(ids.src32);
    out.dst = std::move(ids.dst32);
}

template <class T>
void renumberBySort(GrowArray<T>& src, GrowArray<T>& dst, ArcList& out, const std::string& path) {
    std::vector<T> sorted;
    sorted.reserve(src.size() + dst.size());
    sorted.insert(sorted.end(), src.data(), src.data() + src.size());
    sorted.insert(sorted.end(), dst.data(), dst.data() + dst.size());
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    checkNodeCount(sorted.size(), path);
    out.n = static_cast<std::uint32_t>(sorted.size());
    out.origId.assign(sorted.begin(), sorted.end());
    // The rank of every id, each independent of the others.
    auto ranks = [&](const T* from, std::uint32_t* to, std::size_t size) {
#pragma omp parallel for schedule(static)
        for (std::int64_t i = 0; i < static_cast<std::int64_t>(size); ++i)
            to[i] = static_cast<std::uint32_t>(std::lower_bound(sorted.begin(), sorted.end(), from[i]) -
                                               sorted.begin()) +
                    1;
    };
    auto apply = [&](GrowArray<T>& col, GrowArray<std::uint32_t>& to) {
        if constexpr (std::is_same_v<T, std::uint32_t>) {
            ranks(col.data(), col.data(), col.size());
            to = std::move(col);
        } else {
            to.resize(col.size());
            ranks(col.data(), to.data(), col.size());
            col.release();
        }
    };
    apply(src, out.src);
    apply(dst, out.dst);
}

void renumber(IdPairs& ids, ArcList& out, const std::string& path) {
    if (ids.wide) {
        renumberBySort(ids.src64, ids.dst64, out, path);
        return;
    }
    // The bitmap costs 12 bytes per 64 possible ids, the sorted copy 8 bytes per arc.
    std::uint64_t bitmapBytes = (ids.maxId / 64 + 1) * 12;
    if (bitmapBytes <= 8 * static_cast<std::uint64_t>(ids.size()) + (std::uint64_t{1} << 20))
        renumberByBitmap(ids, out, path);
    else
        renumberBySort(ids.src32, ids.dst32, out, path);
}

// Case-insensitive equality for the words of the Matrix Market banner.
bool sameWord(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return (x | 0x20) == (y | 0x20); });
}

constexpr std::string_view kBanner = "%%MatrixMarket";

// One pass over the lines of either format; the first line decides which.
class Reader {
public:
    Reader(const std::string& path, const ReadOptions& opt) : path(path), opt(opt) {}

    void line(std::string_view text, std::uint64_t no) {
        if (text.starts_with(kBanner)) {
            // Read as a comment, a late banner would turn the size line into
            // an arc and the matrix into an edge list of other nodes.
            if (no != 1)
                lineFault(path, no,
                          "expected the Matrix Market banner on line 1 only, found it on line " + std::to_string(no) +
                              ": remove the lines before it (or the banner, if the file is an edge list)");
            banner(text);
            return;
        }
        Fields fl = split(text);
        if (fl.count == 0) return;
        if (mm != MmState::None) {
            matrixLine(text, fl, no);
            return;
        }
        if (isComment(fl)) return;
        edgeLine(text, fl, no);
    }

    ArcList finish(std::uint64_t lastLine) {
        ArcList out;
        out.lines = lastLine;
        if (mm != MmState::None) {
            if (mm == MmState::Banner) lineFault(path, lastLine, "expected the size line \"rows columns entries\"");
            if (entries != declared)
                lineFault(path, lastLine,
                          "expected " + std::to_string(declared) + " entries after the size line (line " +
                              std::to_string(sizeLine) + "), found " + std::to_string(entries));
            out.n = static_cast<std::uint32_t>(rows);
            out.firstId = 1;
            out.src = std::move(mmSrc);
            out.dst = std::move(mmDst);
            out.bothWays = opt.undirected || symmetric;
        } else {
            if (ids.size() == 0)
                lineFault(path, std::max<std::uint64_t>(lastLine, 1),
                          "expected at least one arc \"u v\", found none in " + std::to_string(lastLine) + " lines");
            renumber(ids, out, path);
            out.bothWays = opt.undirected;
        }
        out.prob = std::move(prob);
        return out;
    }

private:
    enum class MmState { None, Banner, Entries };
    enum class MmField { Pattern, Integer, Real };

    void edgeLine(std::string_view text, const Fields& fl, std::uint64_t no) {
        if (fl.count < 2 || fl.more)
            lineFault(path, no,
                      "expected \"u v\" or \"u v p\" (node ids, optional probability), got " + quoteToken(text));
        std::uint64_t u = parseNodeId(path, no, fl.f[0]), v = parseNodeId(path, no, fl.f[1]);
        if (opt.withProbability) {
            if (fl.count < 3)
                lineFault(path, no, "expected a probability in the third column (-w file), got " + quoteToken(text));
            prob.push_back(parseProbability(path, no, fl.f[2]));
        }
        ids.push(u, v);
    }

    void banner(std::string_view text) {
        std::vector<std::string_view> words;
        for (std::string_view rest = text.substr(kBanner.size());;) {
            Fields fl = split(rest);
            for (int i = 0; i < fl.count; ++i) words.push_back(fl.f[i]);
            if (!fl.more) break;
            rest = rest.substr(static_cast<std::size_t>(fl.f[2].data() + fl.f[2].size() - rest.data()));
        }
        const char* expected =
            "expected \"%%MatrixMarket matrix coordinate pattern|integer|real general|symmetric\", got ";
        if (words.size() != 4 || !sameWord(words[0], "matrix") || !sameWord(words[1], "coordinate"))
            lineFault(path, 1, expected + quoteToken(text));
        std::string_view field = words[2], symmetry = words[3];
        if (sameWord(field, "pattern"))
            mmField = MmField::Pattern;
        else if (sameWord(field, "integer"))
            mmField = MmField::Integer;
        else if (sameWord(field, "real"))
            mmField = MmField::Real;
        else
            lineFault(path, 1, expected + quoteToken(text));
        if (sameWord(symmetry, "symmetric"))
            symmetric = true;
        else if (!sameWord(symmetry, "general"))
            lineFault(path, 1, expected + quoteToken(text));
        if (opt.withProbability && mmField == MmField::Pattern)
            lineFault(path, 1, "expected an integer or real matrix for -w file, got a pattern matrix");
        mm = MmState::Banner;
    }

    std::uint64_t sizeValue(std::string_view t, std::uint64_t no, const std::string& text) const {
        std::uint64_t v = 0;
        if (!parseWhole(t, v))
            lineFault(path, no, "expected the size line \"rows columns entries\", got " + quoteToken(text));
        return v;
    }

    void matrixLine(std::string_view text, const Fields& fl, std::uint64_t no) {
        if (fl.f[0][0] == '%') return;
        if (mm == MmState::Banner) {
            std::string t(text);
            if (fl.count != 3 || fl.more)
                lineFault(path, no, "expected the size line \"rows columns entries\", got " + quoteToken(text));
            rows = sizeValue(fl.f[0], no, t);
            std::uint64_t cols = sizeValue(fl.f[1], no, t);
            declared = sizeValue(fl.f[2], no, t);
            if (rows != cols)
                lineFault(path, no,
                          "expected a square matrix, got " + std::to_string(rows) + " rows and " +
                              std::to_string(cols) + " columns");
            checkNodeCount(rows, path);
            if (declared > UINT32_MAX)
                lineFault(path, no, "expected at most 4294967295 entries, got " + std::to_string(declared));
            checkEntriesFillRows(no);
            sizeLine = no;
            mm = MmState::Entries;
            return;
        }
        if (entries == declared)
            lineFault(path, no,
                      "expected " + std::to_string(declared) + " entries after the size line (line " +
                          std::to_string(sizeLine) + "), found more");
        int want = mmField == MmField::Pattern ? 2 : 3;
        if (fl.count != want || fl.more)
            lineFault(path, no,
                      std::string("expected ") + (want == 2 ? "\"row column\"" : "\"row column value\"") +
                          " as the header says, got " + quoteToken(text));
        std::uint32_t u = matrixIndex(fl.f[0], no, "row"), v = matrixIndex(fl.f[1], no, "column");
        if (mmField == MmField::Integer) {
            long long x = 0;
            if (!parseWhole(fl.f[2], x)) lineFault(path, no, "expected an integer value, got " + quoteToken(fl.f[2]));
            if (opt.withProbability) prob.push_back(parseProbability(path, no, fl.f[2]));
        } else if (mmField == MmField::Real) {
            double x = 0;
            if (!parseWhole(fl.f[2], x)) lineFault(path, no, "expected a real value, got " + quoteToken(fl.f[2]));
            if (opt.withProbability) prob.push_back(parseProbability(path, no, fl.f[2]));
        }
        mmSrc.push_back(u);
        mmDst.push_back(v);
        ++entries;
    }

    // Every node is kept, and what is kept per node is allocated before the
    // entries are packed: a size line whose rows the entries cannot reach
    // ("2000000000 2000000000 1" in a file of a few bytes) would cost
    // gigabytes for nodes without an arc, so it is refused before anything
    // is allocated, unless -force 1 asks for such a matrix.
    void checkEntriesFillRows(std::uint64_t no) const {
        if (declared == 0) lineFault(path, no, "expected at least one entry, the matrix has none");
        if (opt.force || rows <= 2 * declared) return;
        lineFault(path, no,
                  "expected at most 2 rows per entry (an entry joins two nodes), got " + std::to_string(rows) +
                      " rows for " + std::to_string(declared) + " entries, so at least " +
                      std::to_string(rows - 2 * declared) +
                      " nodes would have no arc; give -force 1 to pack them anyway");
    }

    std::uint32_t matrixIndex(std::string_view t, std::uint64_t no, const char* what) const {
        std::uint64_t i = 0;
        if (!parseWhole(t, i) || i < 1 || i > rows)
            lineFault(path, no,
                      std::string("expected a ") + what + " index from 1 to " + std::to_string(rows) + ", got " +
                          quoteToken(t));
        return static_cast<std::uint32_t>(i);
    }

    const std::string& path;
    const ReadOptions& opt;
    IdPairs ids;
    GrowArray<float> prob;
    MmState mm = MmState::None;
    MmField mmField = MmField::Pattern;
    bool symmetric = false;
    std::uint64_t rows = 0, declared = 0, entries = 0, sizeLine = 0;
    GrowArray<std::uint32_t> mmSrc, mmDst;
};

}  // namespace

ArcList readEdgeFile(const std::string& path, const ReadOptions& opt) {
    auto start = std::chrono::steady_clock::now();
    GzInput in(path);
    Reader reader(path, opt);
    std::uint64_t lineNo = 0, bytes = 0;
    scanLines(in, path, lineNo, bytes, [&](std::string_view text, std::uint64_t no) { reader.line(text, no); });
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ArcList out = reader.finish(lineNo);
    out.bytes = bytes;
    out.readSeconds = seconds;
    return out;
}

std::vector<std::uint64_t> unmapSeeds(const std::string& seedFile, const std::string& mapFile) {
    std::vector<std::uint64_t> original;
    {
        GzInput in(mapFile);
        std::uint64_t lineNo = 0, bytes = 0;
        scanLines(in, mapFile, lineNo, bytes, [&](std::string_view text, std::uint64_t no) {
            std::uint64_t id = 0;
            if (!parseWhole(text, id))
                lineFault(mapFile, no, "expected one original node id per line, got " + quoteToken(text));
            original.push_back(id);
        });
    }
    std::vector<std::uint64_t> seeds;
    GzInput in(seedFile);
    std::uint64_t lineNo = 0, bytes = 0;
    scanLines(in, seedFile, lineNo, bytes, [&](std::string_view text, std::uint64_t no) {
        for (;;) {
            Fields fl = split(text);
            for (int i = 0; i < fl.count; ++i) {
                std::uint64_t v = 0;
                if (!parseWhole(fl.f[i], v) || v < 1 || v > original.size())
                    lineFault(seedFile, no,
                              "expected a node id from 1 to " + std::to_string(original.size()) + " (the nodes of " +
                                  mapFile + "), got " + quoteToken(fl.f[i]));
                seeds.push_back(original[v - 1]);
            }
            if (!fl.more) return;
            text = text.substr(static_cast<std::size_t>(fl.f[2].data() + fl.f[2].size() - text.data()));
        }
    });
    return seeds;
}

}  // namespace netpack
