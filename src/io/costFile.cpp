// The cost file reader; see costFile.h.
#include "io/costFile.h"

#include <charconv>
#include <cmath>
#include <optional>
#include <stdexcept>
#include <system_error>

#include "core/parse.h"
#include "io/textBlocks.h"
#include "io/textReader.h"

namespace lattis {

namespace {

// A cost as formatted float extraction reads it, but strictly: the whole token
// a finite number. Magnitudes below the float range are tiny costs and so
// floored like any other; magnitudes above it are refused.
std::optional<float> parseCost(std::string_view tok) {
    std::string_view s = tok;
    if (!dropPlusSign(s)) return std::nullopt;
    float v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec == std::errc::result_out_of_range) {
        auto wide = parseReal(tok);
        if (wide && std::isfinite(*wide) && std::fabs(*wide) < 1.0) return 0.0f;
        return std::nullopt;
    }
    if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

// The floor every cost is stored at.
float floored(float c) { return static_cast<double>(c) <= 1e-9 ? kMinCost : c; }

// A cost token as readCosts converts it: a run of up to nine digits as the
// reader's digit path does, anything else with parseCost.
bool costOfToken(std::string_view tok, float& out) {
    if (std::uint32_t digits = 0; shortDigitRun(tok, digits)) {
        out = floored(static_cast<float>(digits));
        return true;
    }
    const auto v = parseCost(tok);
    if (!v) return false;
    out = floored(*v);
    return true;
}

}  // namespace

std::vector<float> readCosts(TextReader& in, unsigned n) {
    std::vector<float> costs(static_cast<std::size_t>(n) + 1, 0.0f);
    for (unsigned i = 0; i < n; ++i) {
        // A plain whole number (out-degree costs, say) is rounded to single
        // precision by the conversion, to nearest as parsing its text would.
        std::uint32_t digits = 0;
        float c = 0;
        if (in.nextDigits(digits)) {
            c = static_cast<float>(digits);
        } else {
            std::string_view tok = in.next();
            if (tok.empty())
                throw std::runtime_error(in.label() + ": holds " + std::to_string(i) + " costs, expected " +
                                         std::to_string(n) + " (one for each node of the network)");
            auto v = parseCost(tok);
            if (!v)
                throw std::runtime_error(in.label() + ", line " + std::to_string(in.line()) + ": value " +
                                         std::to_string(i + 1) + " (cost of node " + std::to_string(i + 1) +
                                         "): expected a finite number, got " + quoteToken(tok));
            c = *v;
        }
        costs[i] = floored(c);
    }
    return costs;
}

std::vector<float> parseCosts(std::string_view text, unsigned n, const std::string& name) {
    TextReader in(TextReader::InMemory{}, text, "cost file " + name);
    return readCosts(in, n);
}

std::vector<float> readCostFile(const std::string& path, unsigned n) {
    TextReader in(path, "cost file " + path);
    // A regular file is parsed on the team; on any fault the serial reader
    // reads it again and names the first.
    if (const auto bytes = in.unreadFileBytes()) {
        std::vector<float> costs(static_cast<std::size_t>(n) + 1, 0.0f);
        if (takeTokensOnTeam(in.descriptor(), *bytes, n,
                             [&costs](std::string_view tok, std::uint64_t i) { return costOfToken(tok, costs[i]); }))
            return costs;
    }
    return readCosts(in, n);
}

std::vector<float> defaultCosts(unsigned n) {
    std::vector<float> costs(static_cast<std::size_t>(n) + 1, kMinCost);
    costs[n] = 0.0f;
    return costs;
}

}  // namespace lattis
