// Reading of the seed file; see seedFile.h.
#include "io/seedFile.h"

#include <optional>
#include <stdexcept>
#include <string_view>

#include "core/parse.h"
#include "io/textReader.h"

namespace lattis {

namespace {

[[noreturn]] void seedFault(const TextReader& in, long long ordinal, std::string_view tok, const std::string& what) {
    throw std::runtime_error(in.label() + ", line " + std::to_string(in.line()) + ", token " +
                             std::to_string(ordinal) + " " + quoteToken(tok) + ": " + what);
}

}  // namespace

std::vector<int> readSeedFile(const std::string& path, int n) {
    TextReader in(path, "seed file \"" + path + "\"");
    std::vector<int> seeds;
    for (std::string_view tok; !(tok = in.next()).empty();) {
        const long long ordinal = static_cast<long long>(seeds.size()) + 1;
        const std::optional<long long> id = parseInteger<long long>(tok);
        if (!id) seedFault(in, ordinal, tok, "expected an integer node id");
        if (*id < 1 || *id > n) seedFault(in, ordinal, tok, "not a node id in 1.." + std::to_string(n));
        seeds.push_back(static_cast<int>(*id));
    }
    return seeds;
}

}  // namespace lattis
